#pragma once
// The one key of the built-in documents, shared by the build's enciphering tool and the loaders.
// It only keeps the documents from reading as plain text; nothing depends on it being secret.
#include <cstdint>

constexpr std::uint64_t kResourceKey = 0x6B2F91D4E07A35C8ull;
