#!/usr/bin/env python3
"""Writes the seed inputs of the automation and render fuzzers into fuzz/corpus/.

Their inputs are sequences of operations in the fuzzers' own encoding (see automation_fuzzer.cpp
and render_fuzzer.cpp); each seed here is one scenario a player or an automation client plays.
The effect seed is the container the build compiles (EFFECT.OBJ), the shader seeds its two pixel
shaders and one hand-written program; they are copied, not generated.

    fuzz/make_seeds.py
"""
import pathlib
import struct

CORPUS = pathlib.Path(__file__).resolve().parent / "corpus"


def u8(value):
    return struct.pack("<B", value & 0xFF)


def i32(value):
    return struct.pack("<i", value)


def u32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def i64(value):
    return struct.pack("<q", value)


# Automation: opcode 0 put_foregroundColor, 1 GetIDsOfNames, 2 Invoke, 3 GetTypeInfo.
def text(value):
    if value is None:
        return u8(255)
    units = value.encode("utf-16-le")
    return u8(len(units) // 2) + units


ENGLISH = u8(0)  # locale choice: 0x0409
GET, PUT = 1, 2  # flag choices: 1 << choice
RESULT, EXCEPTION, ARGUMENT_ERROR = 1, 2, 4
# Argument types by their index in kPlainTypes; 0x80 passes by reference.
VT_I4, VT_BSTR, VT_DISPATCH, VT_BOOL = 3, 8, 9, 11


def put(value):
    return u8(0) + text(value)


def names(*values, locale=ENGLISH):
    return u8(1) + u8(len(values)) + b"".join(text(v) for v in values) + locale


def invoke(member, flag, arguments=(), named=(), outputs=RESULT | EXCEPTION | ARGUMENT_ERROR):
    # member choices: 0 foregroundColor, 3 DISPID_PROPERTYPUT
    data = u8(2) + u8(member) + u8(flag) + ENGLISH + u8(len(arguments))
    if arguments:
        data += u8(len(named))
    data += u8(outputs) + b"".join(u8(m) for m in named) + b"".join(arguments)
    return data


def argument(kind, payload):
    return u8(kind) + payload


AUTOMATION = {
    "put_get": put("#12abEF") + put("X12ABEF") + put("#12ABEG") + put("#12ABE"),
    "put_nul_after_seven": put("#00FF00\0junk") + put("") + put(None),
    "names": names("foregroundColor") + names("FOREGROUNDCOLOR") +
             names("foregroundColor", "pVal") + names("background") + names(),
    "names_other_locale": names("foregroundColor", locale=u8(2)) +
                          names("foregroundColor", locale=u8(3) + u32(0x0411)),
    "invoke_get": invoke(0, GET) + invoke(0, GET, outputs=0),
    "invoke_put": invoke(0, PUT, [argument(VT_BSTR, text("#00FF7f"))], named=[3]),
    "invoke_put_number": invoke(0, PUT, [argument(VT_I4, i64(0x123456))], named=[3]),
    "invoke_put_by_reference": invoke(0, PUT, [argument(0x80 | VT_BSTR, text("#ABCDEF"))],
                                      named=[3]),
    "invoke_objects": invoke(0, PUT, [argument(VT_DISPATCH, u8(1)),
                                      argument(VT_BOOL, i64(-1))]),
    "type_info": u8(3) + u32(0) + ENGLISH + u8(3) + u32(5) + u8(2),
}

# Render: a display and a window, then opcodes 0/1 Render, 2 RenderWindowed, 3 SetCurrentPreset,
# 4 MediaInfo, 5 Create/Destroy, 6 resize, 7 lose devices or inject a fault.
PLAYING = 2


def display(width, height, refresh, window_width, window_height, foreground=False):
    return u8(width - 1) + u8(height - 1) + u8(refresh) + u8(window_width - 1) + \
        u8(window_height - 1) + u8(foreground)


def levels(mode=1, fill=0x80, state=PLAYING, stamp=0):
    if mode == 1:
        body = u8(fill)
    elif mode == 2:
        run = bytes(range(0, 256, 37))
        body = u8(len(run) - 1) + run
    else:
        body = b""
    return u8(mode) + body + i32(state) + i64(stamp)


def near(left, top, right, bottom):
    return u8(0) + b"".join(struct.pack("<b", v // 2) for v in (left, top, right, bottom))


def far(left, top, right, bottom):
    return u8(200) + i32(left) + i32(top) + i32(right) + i32(bottom)


def render(rectangle, level=None):
    return u8(0) + (level or levels()) + rectangle


def windowed(level=None):
    return u8(2) + (level or levels())


def preset(value):
    return u8(3) + i32(value)


def media(channels, rate):
    return u8(4) + i32(channels) + i32(rate)


TOGGLE_WINDOW = u8(5)
LOSE_DEVICES = u8(7) + u8(1)


def fault(index, result, calls=1):
    # faults: 0 CreateDevice, 1 SurfaceGetDC, 2 Clear, 3 BeginScene; results: 0 E_FAIL,
    # 1 device lost, 2 not available, 3 out of memory
    return u8(7) + u8(0) + u8(index + 4 * result + 16 * (calls - 1))


FULL = near(0, 0, 64, 48)
RENDER = {
    "frames": display(64, 48, 60, 64, 48) + TOGGLE_WINDOW + render(FULL) +
              render(FULL, levels(2)) + preset(1) + render(FULL) + preset(0) +
              render(FULL, levels(1, 0, state=1)),
    "rectangles": display(64, 48, 60, 64, 48) + TOGGLE_WINDOW + render(near(0, 0, 0, 0)) +
                  render(near(40, 30, 10, 6)) + render(near(-40, -30, 24, 18)) +
                  render(far(-2**31, -2**31, 2**31 - 1, 2**31 - 1)) +
                  render(far(0, 0, 4000, 3000)) + render(far(2**31 - 64, 0, 2**31 - 1, 48)),
    "foreground": display(40, 30, 60, 40, 30, foreground=True) + render(FULL) + render(FULL),
    "windowed": display(32, 24, 0, 40, 30) + windowed() + TOGGLE_WINDOW + windowed() +
                u8(6) + u8(10) + u8(0) + windowed() + TOGGLE_WINDOW + windowed(),
    "lost_device": display(48, 48, 75, 48, 48) + TOGGLE_WINDOW + render(FULL) + LOSE_DEVICES +
                   render(FULL) + render(FULL) + fault(0, 1) + render(FULL) + render(FULL),
    "failures": display(16, 16, 60, 16, 16) + TOGGLE_WINDOW + fault(0, 2) + render(FULL) +
                render(FULL) + fault(2, 0) + render(FULL) + fault(3, 0) + render(FULL) +
                fault(1, 0) + render(FULL) + render(FULL),
    "mono": display(64, 64, 60, 64, 64) + TOGGLE_WINDOW + media(1, 44100) +
            render(FULL, levels(2)) + media(0, -1) + render(FULL, levels(2)) + preset(2) +
            preset(-1) + render(FULL),
}


def main():
    for folder, seeds in (("automation", AUTOMATION), ("render", RENDER)):
        target = CORPUS / folder
        target.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (target / name).write_bytes(data)


if __name__ == "__main__":
    main()
