// The plots of an analysis, drawn by gnuplot from the CSV files: a generated
// script (kept beside the plots as "plots.gp", so a plot can be redrawn or
// restyled by hand) draws each plot twice, as PNG (cairo) and as SVG.
#pragma once

#include <string>
#include <vector>

#include "analysis/analysis_report.h"

// The gnuplot script for `report`, reading its CSV files from and writing
// its images into the current folder. `title` heads every plot.
std::string plotScript(const AnalysisReport& report, const std::string& title);

// The image files that plotScript() writes, in order.
std::vector<std::string> plotFiles(const AnalysisReport& report);

// The gnuplot program on PATH, or empty when there is none.
std::string gnuplotProgram();

// Runs gnuplot `program` on `script` in `folder`. Throws HostError with
// gnuplot's own complaint when it cannot start or fails.
void runGnuplot(const std::string& program, const std::string& folder, const std::string& script);
