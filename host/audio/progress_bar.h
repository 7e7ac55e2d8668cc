// A one-line progress bar for long renders on a terminal. When it is not
// enabled (output redirected, or short work) it prints nothing at all.
#pragma once

#include <cstdio>
#include <string>

class ProgressBar {
public:
    ProgressBar(std::FILE* out, bool enabled, std::string label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Redraws when the whole percentage changes.
    void update(double fraction);
    // Erases the bar so that the next output starts on a clean line.
    void finish();

    static bool isTerminal(std::FILE* stream);

private:
    std::FILE* out_;
    bool enabled_;
    std::string label_;
    int shownPercent_ = -1;
};
