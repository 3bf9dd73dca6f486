// What each command does; each returns the program's exit code or throws HostError.
#pragma once

#include <memory>
#include <string>

#include "host/audio_decoder.h"
#include "host/command_line.h"
#include "host/visualizer.h"

namespace gs::host {

int runRender(const RenderCommand& command);
int runPlay(const PlayCommand& command);
int runRegistration(const RegisterCommand& command);
int runList();

// Shared by the commands: the audio to play (the demo signal when `input` is empty; `decoder`
// then points at the file's decoder, or is null) and the preset the user named.
std::unique_ptr<AudioSource> openAudio(const std::string& input, double start,
                                       const AudioFileDecoder** decoder);
void applyPreset(Visualizer& visualizer, const std::string& name);

}  // namespace gs::host
