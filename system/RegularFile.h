// Files the user names, read as data: regular files only, opened without waiting and read at any
// offset as well as in sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Opens Name as a binary stdio stream for reading when it is a regular file, without waiting (a
// FIFO would wait for a writer) and kept from child processes; *Size gets its length. nullptr with
// the reason in *Why otherwise (a directory or a device would open but never give data).
std::FILE* OpenRegularFile(const std::string& Name, int64_t* Size, std::string* Why);

// Reads up to Bytes at offset At of File, leaving its stream position as it was; the bytes read.
size_t ReadFileAt(std::FILE* File, void* Out, size_t Bytes, int64_t At);
