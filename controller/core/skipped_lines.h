// Why users-file lines were skipped: the first reasons word for word, the rest only counted,
// so that a file of millions of bad lines does not hold millions of texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarrow::ctrl {

struct SkippedLines {
    static constexpr std::size_t kKeptTexts = 100;

    std::vector<std::string> texts;  // the first kKeptTexts reasons, "line N: ..."
    std::uint64_t more = 0;          // skipped lines beyond those

    bool full() const { return texts.size() >= kKeptTexts; }
    std::uint64_t count() const { return texts.size() + more; }
    // "... and N more" after the texts when some were only counted; empty otherwise.
    std::string moreText() const {
        return more ? "... and " + std::to_string(more) + " more lines skipped" : std::string();
    }
};

}  // namespace tarrow::ctrl
