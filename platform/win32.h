// The Windows API subset the module and its hosts call. On Windows these are the system headers;
// elsewhere our own platform library implements exactly that subset with the Windows type sizes.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>
#include <oleauto.h>
#else
#include "platform/linux/types.h"
#include "platform/linux/com.h"
#include "platform/linux/kernel.h"
#include "platform/linux/strings.h"
#include "platform/linux/bstr.h"
#include "platform/linux/module.h"
#include "platform/linux/user.h"
#include "platform/linux/gdi.h"
#include "platform/linux/registry.h"
#include "platform/linux/oleauto.h"
#endif
