// The frame's per-pixel work written as OpenGL shaders, for comparison with the software device:
// the two effect passes and the background quad, each a full-target quad blended into an RGBA8
// framebuffer, at the frame benchmark's sizes. Run under Mesa's llvmpipe through a surfaceless EGL
// context; LP_NUM_THREADS (read by the driver at start) sets its thread count.
//
// The strips, positions and scale are the ones the renderer gives the effect: strips as long as
// the target's larger side, texWidth 15 times that side, sources on their paths at hue 30.
#include <benchmark/benchmark.h>

#define EGL_EGLEXT_PROTOTYPES
#define GL_GLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/glcorearb.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec2 position;  // pixels, origin top-left
layout(location = 1) in vec2 texcoord;
uniform vec2 targetSize;
out vec2 uv;
void main() {
    uv = texcoord;
    gl_Position = vec4(position / targetSize * 2.0 - 1.0, 0.0, 1.0);
}
)";

// Pixel centres at whole numbers, as pre-transformed Direct3D 9 vertices give them.
const char* const kEffect0 = R"(#version 330 core
uniform sampler2D left;
uniform sampler2D right;
uniform vec3 pos[4];
uniform float k;
out vec4 colour;
void main() {
    vec3 p = vec3(gl_FragCoord.xy - 0.5, 0.0);
    vec4 l0 = texture(left, vec2(length(p - pos[0]) * k, 0.5));
    vec4 r1 = texture(right, vec2(length(p - pos[1]) * k, 0.5));
    colour = (l0 + r1) * exp2(0.45 * log2(abs(l0 - r1)));
}
)";

const char* const kEffect1 = R"(#version 330 core
uniform sampler2D left;
uniform sampler2D right;
uniform vec3 pos[4];
uniform float k;
out vec4 colour;
void main() {
    vec3 p = vec3(gl_FragCoord.xy - 0.5, 0.0);
    vec4 l0 = texture(left, vec2(length(p - pos[0]) * k, 0.5));
    vec4 r1 = texture(right, vec2(length(p - pos[1]) * k, 0.5));
    vec4 l2 = texture(left, vec2(0.8 * length(p - pos[2]) * k, 0.5));
    vec4 r3 = texture(right, vec2(0.8 * length(p - pos[3]) * k, 0.5));
    colour = (l0 + r1) * sqrt(abs(l2 - r3));
}
)";

const char* const kBackground = R"(#version 330 core
uniform sampler2D feedback;
in vec2 uv;
out vec4 colour;
void main() {
    colour = vec4(texture(feedback, uv).rgb, 178.0 / 255.0);
}
)";

class Context {
public:
    Context() {
        display_ =
            eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr)) {
            error_ = "no surfaceless EGL display";
            return;
        }
        const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                           EGL_OPENGL_BIT, EGL_NONE};
        EGLConfig config = nullptr;
        EGLint configs = 0;
        if (!eglChooseConfig(display_, configAttributes, &config, 1, &configs) || configs == 0 ||
            !eglBindAPI(EGL_OPENGL_API)) {
            error_ = "no OpenGL configuration";
            return;
        }
        const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                            3,
                                            EGL_CONTEXT_MINOR_VERSION,
                                            3,
                                            EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                            EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                            EGL_NONE};
        context_ = eglCreateContext(display_, config, EGL_NO_CONTEXT, contextAttributes);
        if (context_ == EGL_NO_CONTEXT ||
            !eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) {
            error_ = "no OpenGL 3.3 context";
            return;
        }
        renderer_ = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    }
    ~Context() {
        if (display_ != EGL_NO_DISPLAY) {
            eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            if (context_ != EGL_NO_CONTEXT) {
                eglDestroyContext(display_, context_);
            }
            eglTerminate(display_);
        }
    }

    const std::string& error() const { return error_; }
    const std::string& renderer() const { return renderer_; }

private:
    EGLDisplay display_ = EGL_NO_DISPLAY;
    EGLContext context_ = EGL_NO_CONTEXT;
    std::string error_;
    std::string renderer_;
};

Context& context() {
    static Context instance;
    return instance;
}

GLuint compile(GLenum kind, const char* source, std::string& error) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = log;
    }
    return shader;
}

GLuint program(const char* fragment, std::string& error) {
    const GLuint vs = compile(GL_VERTEX_SHADER, kVertexShader, error);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment, error);
    const GLuint p = glCreateProgram();
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok && error.empty()) {
        error = "program does not link";
    }
    return p;
}

GLuint texture(GLsizei width, GLsizei height, const std::vector<std::uint32_t>& texels,
               GLenum wrapS) {
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapS);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return t;
}

enum class Work { Effect0, Effect1, Background };

// A W x H RGBA8 framebuffer and one full-target quad drawn through `work` per iteration.
void drawQuads(benchmark::State& state, Work work) {
    Context& gl = context();
    if (!gl.error().empty()) {
        state.SkipWithError(gl.error().c_str());
        return;
    }
    const auto width = static_cast<GLsizei>(state.range(0));
    const auto height = static_cast<GLsizei>(state.range(1));
    std::string error;
    const GLuint shader = program(work == Work::Effect0   ? kEffect0
                                  : work == Work::Effect1 ? kEffect1
                                                          : kBackground,
                                  error);
    if (!error.empty()) {
        state.SkipWithError(error.c_str());
        return;
    }

    GLuint target = texture(width, height, std::vector<std::uint32_t>(size_t(width) * height),
                            GL_CLAMP_TO_EDGE);
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    glViewport(0, 0, width, height);

    // Strips of the larger side's length with a colour ramp; a feedback picture of half size.
    const int n = std::max(width, height);
    std::vector<std::uint32_t> strip(n);
    for (int i = 0; i < n; ++i) {
        strip[i] = 0xFF000000u | ((i * 7) & 0xFF) << 16 | ((i * 3) & 0xFF) << 8 | (i & 0xFF);
    }
    const GLuint left = texture(n, 1, strip, GL_MIRRORED_REPEAT);
    std::reverse(strip.begin(), strip.end());
    const GLuint right = texture(n, 1, strip, GL_MIRRORED_REPEAT);
    std::vector<std::uint32_t> picture(size_t(width / 2) * (height / 2));
    for (size_t i = 0; i < picture.size(); ++i) {
        picture[i] = 0xFF000000u | std::uint32_t(i * 2654435761u >> 8);
    }
    const GLuint feedback = texture(width / 2, height / 2, picture, GL_CLAMP_TO_EDGE);

    const float w = float(width), h = float(height);
    const float a = 30.0f * 0.017453292f;
    const float cx = w * 0.5f, cy = h * 0.5f;
    const float pos[4][3] = {
        {cx + w / 3 * std::sin(2 * a), cy + h / 3 * std::cos(2 * a), 0.0f},
        {cx - w / 3 * std::sin(2 * a), cy - h / 3 * std::cos(2 * a), 0.0f},
        {cx - w / 2 * std::sin(4 * a), cy - h / 2 * std::cos(6 * a), -w / 2 * std::sin(4 * a)},
        {cx + w / 2 * std::sin(6 * a), cy + h / 2 * std::cos(4 * a), h / 2 * std::cos(2 * a)}};
    glUseProgram(shader);
    glUniform2f(glGetUniformLocation(shader, "targetSize"), w, h);
    glUniform3fv(glGetUniformLocation(shader, "pos"), 4, &pos[0][0]);
    glUniform1f(glGetUniformLocation(shader, "k"), 1.0f / (float(n) * 15.0f));
    glUniform1i(glGetUniformLocation(shader, "left"), 0);
    glUniform1i(glGetUniformLocation(shader, "right"), 1);
    glUniform1i(glGetUniformLocation(shader, "feedback"), 2);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, left);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, right);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, feedback);

    // Two triangles over the target; the background's corners sample a little inside the edge.
    const float quad[4][4] = {
        {0, 0, 0.02f, 0.03f}, {w, 0, 0.98f, 0.02f}, {w, h, 0.97f, 0.98f}, {0, h, 0.01f, 0.97f}};
    GLuint vertexArray = 0, buffer = 0;
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float),
                          reinterpret_cast<void*>(2 * sizeof(float)));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    if (work == Work::Background) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    } else {
        glBlendFunc(GL_ONE, GL_ONE);
    }
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);  // shaders are compiled at their first use
    glFinish();

    for (auto _ : state) {
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        glFinish();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * double(w) * h));
    state.SetLabel(gl.renderer());
    const char* threads = std::getenv("LP_NUM_THREADS");
    state.counters["threads"] = threads != nullptr ? std::atof(threads) : 0.0;

    glDeleteBuffers(1, &buffer);
    glDeleteVertexArrays(1, &vertexArray);
    const GLuint textures[4] = {left, right, feedback, target};
    glDeleteTextures(4, textures);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteProgram(shader);
}

void LlvmpipeEffect0(benchmark::State& state) {
    drawQuads(state, Work::Effect0);
}
void LlvmpipeEffect1(benchmark::State& state) {
    drawQuads(state, Work::Effect1);
}
void LlvmpipeBackgroundQuad(benchmark::State& state) {
    drawQuads(state, Work::Background);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"width", "height"});
    b->Args({1280, 720})->Args({1920, 1080})->Args({3840, 2160});
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(LlvmpipeEffect0)->Apply(sizes);
BENCHMARK(LlvmpipeEffect1)->Apply(sizes);
BENCHMARK(LlvmpipeBackgroundQuad)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
