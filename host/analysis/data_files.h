// The data behind the plots: one CSV file per plot (a header line, then
// comma-separated numbers) and, on request, all figures in one JSON file.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis_report.h"

struct DataFile {
    std::string name;
    std::string content;
};

// The CSV files of a report, named after the plots they feed
// ("transfer.csv", "harmonics-12dBFS.csv", ...).
std::vector<DataFile> csvFiles(const AnalysisReport& report);

// The whole report as JSON text (figures and data series).
std::string reportJson(const AnalysisReport& report);

// "harmonics-12dBFS", the stem shared by the CSV, PNG and SVG of one
// harmonics measurement.
std::string harmonicsStem(const HarmonicsResult& result);
