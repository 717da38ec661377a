// Put in front of every file of the Windows build (cmake/windows.cmake): <windows.h> comes first,
// and the few macros it defines under names the program uses for its own things are taken back.
// Its include guard keeps any later #include <windows.h> from defining them again.
#pragma once

// Asio needs <winsock2.h> before <windows.h>, an order that sorting the includes would undo.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

// The registry's "no value type"; the program's REG_NONE is the register id that means none.
#undef REG_NONE
