#pragma once

#include "platform/linux/com.h"
