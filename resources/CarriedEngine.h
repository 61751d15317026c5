// The two engine library files the program carries, embedded at build time from the engine
// component's built msc.dll and speex.dll.
#pragma once

#include <string_view>

namespace velarn {

std::string_view CarriedMscDll();
std::string_view CarriedSpeexDll();

}  // namespace velarn
