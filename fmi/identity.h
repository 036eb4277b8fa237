// The unit's identity string: the MD5 digest of a text built from its model information record.
// The GUID a master passes to fmi2Instantiate must equal it, and the model description carries it.
#pragma once

#include <cstddef>

#include "runtime/model_interface.h"

namespace fmi {

inline constexpr std::size_t identityTextSize = 1024;
inline constexpr std::size_t identityStringSize = 80;

// Builds the text that is hashed into `text` (terminated); returns its length.
std::size_t buildIdentityText(const runtime::ModelInfo& info, char (&text)[identityTextSize]);

// The digest of the identity text as 32 lowercase hexadecimal digits.
void identityString(const runtime::ModelInfo& info, char (&out)[identityStringSize]);

// True exactly when `guid` is not null and equals the identity string byte for byte.
bool identityMatches(const runtime::ModelInfo& info, const char* guid);

}  // namespace fmi
