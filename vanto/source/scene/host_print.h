// The engine's console messages, handed to the host's console.
#pragma once

#include <string>

void PrintToHostConsole(const std::string& text);
