// A phrase as the names of its recordings, separated by spaces.
#pragma once

#include <string>

#include "pathlume/guidance/spoken_phrase.h"
#include "platform/kernel/text.h"

inline std::string Said(const PhraseBuffer& phrase) {
    std::string text;
    for (int i = 0; i < phrase.count; ++i) {
        text += (text.empty() ? "" : " ") + platform::WideToUtf8(PromptWordTable[phrase.words[i]]);
    }
    return text;
}
