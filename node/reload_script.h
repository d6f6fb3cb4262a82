// The reload button's Python script, generated at build time from the
// script's source file.
#pragma once

extern const char* const PyScript;
