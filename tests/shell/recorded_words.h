// Prompt words spoken through guidance, recorded instead of played, while one lives.
#pragma once

#include <vector>

#include "pathlume/guidance/guidance_update.h"
#include "pathlume/route/route_hooks.h"

namespace shell_test {

class RecordedWords {
  public:
    RecordedWords()
        : guidance_([this](const PhraseBuffer& phrase) {
              for (int i = 0; i < phrase.count; ++i)
                  words.push_back(phrase.words[i]);
          }) {
        previous_ = &GetRouteGuidance();
        SetRouteGuidance(&guidance_);
    }
    ~RecordedWords() { SetRouteGuidance(previous_); }
    RecordedWords(const RecordedWords&) = delete;
    RecordedWords& operator=(const RecordedWords&) = delete;

    std::vector<int> words;

  private:
    CGuidance guidance_;
    IRouteGuidance* previous_;
};

}  // namespace shell_test
