#include "audio/progress_bar.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include <io.h>
#define KD_ISATTY _isatty
#define KD_FILENO _fileno
#else
#include <unistd.h>
#define KD_ISATTY isatty
#define KD_FILENO fileno
#endif

namespace {
constexpr int kBarWidth = 40;
}

ProgressBar::ProgressBar(std::FILE* out, bool enabled, std::string label)
    : out_(out), enabled_(enabled), label_(std::move(label)) {}

ProgressBar::~ProgressBar() {
    finish();
}

bool ProgressBar::isTerminal(std::FILE* stream) {
    return KD_ISATTY(KD_FILENO(stream)) != 0;
}

void ProgressBar::update(double fraction) {
    if (!enabled_) {
        return;
    }
    const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0);
    if (percent == shownPercent_) {
        return;
    }
    shownPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(out_, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), percent);
    std::fflush(out_);
}

void ProgressBar::finish() {
    if (!enabled_ || shownPercent_ < 0) {
        return;
    }
    std::fprintf(out_, "\r%*s\r", static_cast<int>(label_.size()) + kBarWidth + 8, "");
    std::fflush(out_);
    shownPercent_ = -1;
}
