// Macro variables, backquoted expansions and arithmetic in command lines.
#pragma once

#include <cstddef>

// Copies src to dst (at most size - 1 characters and a NUL), expanding backquoted items; args
// holds ten macro argument strings (null = absent). Returns dst.
char* expandVariables(char* dst, size_t size, const char* src, const char* const* args);
// Copies src to dst (same size rule), evaluating backquoted arithmetic. Returns dst.
char* processMath(char* dst, size_t size, const char* src);
