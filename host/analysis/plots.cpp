#include "analysis/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>

#include "analysis/data_files.h"
#include "support/child_process.h"
#include "support/host_error.h"
#include "support/program_search.h"

namespace {

constexpr const char* kPngTerminal = "set terminal pngcairo size 960,600 font 'DejaVu Sans,10' noenhanced";
constexpr const char* kSvgTerminal = "set terminal svg size 960,600 font 'DejaVu Sans,10' noenhanced";
constexpr double kSpectrumFloorDb = -160.0;

// A gnuplot string literal: double quotes, with backslashes and quotes
// escaped and line breaks written as gnuplot's \n.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string number(double value, const char* format = "%.6g") {
    char text[32];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

std::string hertz(double value) {
    return value >= 1000.0 ? number(value / 1000.0, "%.3g") + " kHz" : number(value, "%.3g") + " Hz";
}

struct Plot {
    std::string stem;
    std::string body;  // everything after the terminal and output lines
};

// How much of the plot a harmonic's label takes: a share of the width and a
// height in dB on the spectrum's axis.
constexpr double kLabelWidth = 0.035;
constexpr double kLabelHeightDb = 7.0;
constexpr int kLabelRows = 3;

// Labels over the harmonics ("f", "H2", ...), each lifted above the ones it
// would overlap (closely spaced harmonics on a log axis), or left out when
// no lift within a few rows clears them. `position` maps a frequency to its
// share of the plot's width.
std::string spectrumLabels(const std::vector<HarmonicLevel>& harmonics, const std::function<double(double)>& position) {
    struct Placed {
        double x;
        double y;
    };
    std::vector<Placed> placed;
    std::string text;
    for (const HarmonicLevel& h : harmonics) {
        const double x = position(h.frequency);
        const double base = std::max(h.levelDb, kSpectrumFloorDb) + 4.0;
        for (int row = 0; row < kLabelRows; ++row) {
            const double y = base + row * kLabelHeightDb;
            const bool clear = std::none_of(placed.begin(), placed.end(), [x, y](const Placed& other) {
                return std::fabs(other.x - x) < kLabelWidth && std::fabs(other.y - y) < kLabelHeightDb;
            });
            if (clear) {
                placed.push_back({x, y});
                text += "set label " + quoted(h.order == 1 ? "f" : "H" + std::to_string(h.order)) + " at " +
                        number(h.frequency) + "," + number(y) + " center front\n";
                break;
            }
        }
    }
    return text;
}

Plot transferPlot(const std::string& title) {
    std::ostringstream body;
    body << "set title " << quoted(title + ": transfer curve (rising 1 kHz sine)") << "\n"
         << "set xlabel 'input (full scale = 1)'\nset ylabel 'output (full scale = 1)'\n"
         << "set xrange [-1:1]\nset grid\nset key top left\n"
         << "plot 'transfer.csv' using 1:2:4 with filledcurves fc rgb '#a9c4e4' fs solid 0.6 title 'spread', "
         << "'' using 1:3 with lines lw 2 lc rgb '#1f5fa8' title 'output', "
         << "x with lines dt 2 lc rgb '#888888' title 'unchanged'\n";
    return {"transfer", body.str()};
}

Plot levelPlot(const std::string& title) {
    std::ostringstream body;
    body << "set title " << quoted(title + ": level curve (1 kHz sine)") << "\n"
         << "set xlabel 'input level (dBFS)'\nset ylabel 'output level (dBFS)'\n"
         << "set xrange [-60:6]\nset grid\nset key top left\n"
         << "plot 'level.csv' using 1:2 with linespoints pt 7 ps 0.5 lc rgb '#1f5fa8' title 'whole output', "
         << "'' using 1:3 with lines dt 3 lc rgb '#c0392b' title '1 kHz component', "
         << "x with lines dt 2 lc rgb '#888888' title 'unchanged'\n";
    return {"level", body.str()};
}

Plot harmonicsPlot(const HarmonicsResult& result, double sampleRate, const std::string& title) {
    std::ostringstream body;
    const std::string stem = harmonicsStem(result);
    body << "set title "
         << quoted(title + ": harmonics of a 1 kHz sine at " + number(result.inputDb) + " dBFS\nTHD " +
                   number(result.thdPercent, "%.3g") + " %, THD+N " + number(result.thdPlusNoisePercent, "%.3g") + " %")
         << "\n"
         << "set xlabel 'frequency (Hz)'\nset ylabel 'level (dBFS)'\n"
         << "set logscale x\nset xrange [20:" << number(sampleRate / 2.0) << "]\n"
         << "set yrange [" << number(kSpectrumFloorDb) << ":10]\nset grid\nset key top right\n"
         << spectrumLabels(result.harmonics,
                           [sampleRate](double hz) {
                               return std::log(std::max(hz, 20.0) / 20.0) / std::log(sampleRate / 2.0 / 20.0);
                           })
         << "plot '" << stem << ".csv' using 1:2 with lines lc rgb '#1f5fa8' title 'spectrum', '" << stem
         << "-series.csv' using 2:3 with points pt 7 ps 0.8 lc rgb '#c0392b' title 'harmonics'\n";
    return {stem, body.str()};
}

Plot responsePlot(const FrequencyResponse& response, const std::string& title) {
    std::ostringstream body;
    double low = 0.0, high = 0.0;
    for (const CurvePoint& point : response.points) {
        low = std::min(low, point.y);
        high = std::max(high, point.y);
    }
    for (const auto& band : response.bands) {
        for (const CurvePoint& point : band.second) {
            low = std::min(low, point.y);
            high = std::max(high, point.y);
        }
    }
    low = std::max(std::floor(low / 6.0) * 6.0 - 6.0, -80.0);
    high = std::ceil(high / 6.0) * 6.0 + 6.0;
    body << "set title " << quoted(title + ": frequency response at " + number(response.inputDb) + " dBFS") << "\n"
         << "set xlabel 'frequency (Hz)'\nset ylabel 'gain (dB)'\n"
         << "set logscale x\nset xrange [20:20000]\nset yrange [" << number(low) << ":" << number(high) << "]\n"
         << "set grid\nset key bottom right\n";
    for (const Crossover& crossover : response.crossovers) {
        body << "set arrow from " << number(crossover.measured) << ", graph 0 to " << number(crossover.measured)
             << ", graph 1 nohead dt 3 lc rgb '#555555'\n"
             << "set label " << quoted(crossover.name + " " + hertz(crossover.measured)) << " at "
             << number(crossover.measured) << ", graph 0.95 left offset 0.5,0 front\n";
    }
    if (response.crossovers.empty()) {
        for (double corner : response.corners) {
            body << "set label " << quoted("3 dB below the peak at " + hertz(corner)) << " at " << number(corner)
                 << ", graph 0.9 center front point pt 2\n";
        }
    }
    body << "plot 'response.csv' using 1:2 with linespoints pt 7 ps 0.5 lw 2 lc rgb '#1f5fa8' title 'whole effect'";
    const char* colours[] = {"#c0392b", "#27ae60", "#8e44ad", "#d68910"};
    for (std::size_t i = 0; i < response.bands.size(); ++i) {
        body << ", '' using 1:" << i + 3 << " with lines dt 2 lc rgb '" << colours[i % 4] << "' title "
             << quoted(response.bands[i].first + " band alone");
    }
    body << "\n";
    return {"response", body.str()};
}

// Phase above, group delay below, on the response's frequencies.
Plot phasePlot(const FrequencyResponse& response, const std::string& title) {
    std::ostringstream body;
    body << "set multiplot layout 2,1 title "
         << quoted(title + ": phase and group delay at " + number(response.inputDb) + " dBFS") << "\n"
         << "set logscale x\nset xrange [20:20000]\nset grid\nunset key\n"
         << "set ylabel 'phase (degrees)'\nset format x ''\n"
         << "plot 'phase.csv' using 1:2 with linespoints pt 7 ps 0.3 lw 2 lc rgb '#1f5fa8'\n"
         << "set xlabel 'frequency (Hz)'\nset ylabel 'group delay (ms)'\nset format x '% h'\n"
         << "plot 'phase.csv' using 1:3 with linespoints pt 7 ps 0.3 lw 2 lc rgb '#c0392b'\n"
         << "unset multiplot\n";
    return {"phase", body.str()};
}

Plot impulsePlot(const ImpulseResponse& impulse, const std::string& title) {
    std::ostringstream body;
    std::string figures = "peak " + number(impulse.peak, "%.3g") + " at " + number(impulse.peakMs, "%.3g") + " ms";
    figures += impulse.decayMs ? ", 60 dB down after " + number(*impulse.decayMs, "%.3g") + " ms"
                               : ", not 60 dB down within the 2 s rendered";
    const double last = impulse.points.empty() ? 1.0 : impulse.points.back().x;
    body << "set title " << quoted(title + ": impulse response (one sample of full scale)\n" + figures) << "\n"
         << "set xlabel 'time (ms)'\nset ylabel 'output (full scale = 1)'\n"
         << "set xrange [0:" << number(std::max(last, 1e-3)) << "]\nset grid\nunset key\n"
         << "plot 'impulse.csv' using 1:2 with lines lw 1.5 lc rgb '#1f5fa8'\n";
    return {"impulse", body.str()};
}

Plot loudnessPlot(const std::vector<LoudnessPoint>& points, const std::string& title) {
    std::ostringstream body;
    double low = 0.0, high = 0.0;
    for (const LoudnessPoint& point : points) {
        low = std::min({low, point.inputLufs, point.outputLufs});
        high = std::max({high, point.outputLufs, point.outputTruePeakDbtp});
    }
    body << "set title " << quoted(title + ": loudness of pink noise (one channel, BS.1770)") << "\n"
         << "set xlabel 'input loudness (LUFS)'\nset ylabel 'output loudness (LUFS), true peak (dBTP)'\n"
         << "set xrange [" << number(points.empty() ? -60.0 : points.front().inputLufs) << ":"
         << number(points.empty() ? 0.0 : points.back().inputLufs) << "]\n"
         << "set yrange [" << number(std::max(std::floor(low / 6.0) * 6.0 - 6.0, -100.0)) << ":"
         << number(std::ceil(high / 6.0) * 6.0 + 6.0) << "]\nset grid\nset key top left\n"
         << "plot 'loudness.csv' using 1:2 with linespoints pt 7 ps 0.5 lw 2 lc rgb '#1f5fa8' title 'loudness', "
         << "'' using 1:3 with linespoints pt 6 ps 0.5 lc rgb '#c0392b' title 'true peak', "
         << "x with lines dt 2 lc rgb '#888888' title 'unchanged'\n";
    return {"loudness", body.str()};
}

Plot dynamicsPlot(const DynamicsResult& dynamics, const std::string& title) {
    std::ostringstream body;
    const auto time = [](const std::optional<double>& ms) {
        return ms ? number(*ms, "%.3g") + " ms" : std::string("not settled");
    };
    body << "set title "
         << quoted(title + ": gain after a 1 kHz sine steps from " + number(dynamics.lowDbfs, "%+g") + " to " +
                   number(dynamics.highDbfs, "%+g") + " dBFS and back\nattack " + time(dynamics.attackMs) +
                   ", release " + time(dynamics.releaseMs) + " (90 % of the change)")
         << "\n"
         << "set xlabel 'time after the step (ms)'\nset ylabel 'gain (dB)'\n"
         << "set logscale x\nset xrange [0.1:*]\nset grid\nset key right center\n"
         << "plot 'dynamics.csv' using 1:2 with lines lw 2 lc rgb '#c0392b' title 'after the step up (attack)', "
         << "'' using 1:3 with lines lw 2 lc rgb '#1f5fa8' title 'after the step down (release)'\n";
    return {"dynamics", body.str()};
}

Plot aliasingPlot(const AliasingResult& result, double sampleRate, const std::string& title) {
    std::ostringstream body;
    body << "set title "
         << quoted(title + ": aliasing, " + hertz(result.fundamental) + " sine at " + number(result.inputDb) +
                   " dBFS\noff the harmonic series: " + number(result.offHarmonicDb, "%.1f") +
                   " dB below the fundamental")
         << "\n"
         << "set xlabel 'frequency (Hz)'\nset ylabel 'level (dBFS)'\n"
         << "set xrange [0:" << number(sampleRate / 2.0) << "]\nset yrange [" << number(kSpectrumFloorDb)
         << ":10]\nset grid\nset key top right\n"
         << spectrumLabels(result.harmonics, [sampleRate](double hz) { return hz / (sampleRate / 2.0); })
         << "plot 'aliasing.csv' using 1:2 with lines lc rgb '#1f5fa8' title 'spectrum'\n";
    return {"aliasing", body.str()};
}

Plot costPlot(const std::string& title) {
    std::ostringstream body;
    body << "set title " << quoted(title + ": processing time on this machine") << "\n"
         << "set xlabel 'block size (samples)'\nset ylabel 'time per sample (ns)'\n"
         << "set style fill solid 0.6\nset boxwidth 0.6\nset yrange [0:*]\nset grid ytics\nunset key\n"
         << "plot 'cost.csv' using 0:2:xtic(1) with boxes lc rgb '#1f5fa8', "
         << "'' using 0:2:(sprintf('%.1f', $2)) with labels offset 0,1\n";
    return {"cost", body.str()};
}

std::vector<Plot> plots(const AnalysisReport& report, const std::string& title) {
    // A transfer curve of a plug-in with memory would draw its phase shift
    // or its gain changes as a cloud; the level curve says what there is.
    std::vector<Plot> list;
    if (report.transfer.staticFunction) {
        list.push_back(transferPlot(title));
    }
    list.push_back(levelPlot(title));
    for (const HarmonicsResult& result : report.harmonics) {
        list.push_back(harmonicsPlot(result, report.sampleRate, title));
    }
    list.push_back(responsePlot(report.response, title));
    list.push_back(phasePlot(report.response, title));
    list.push_back(impulsePlot(report.impulse, title));
    list.push_back(loudnessPlot(report.loudness, title));
    if (report.dynamics.gainMoves) {
        list.push_back(dynamicsPlot(report.dynamics, title));
    }
    list.push_back(aliasingPlot(report.aliasing, report.sampleRate, title));
    if (!report.cost.empty()) {
        list.push_back(costPlot(title));
    }
    return list;
}

}  // namespace

namespace {

// The last `count` lines of `said`, each on a line of its own, indented.
std::string lastLines(const std::string& said, std::size_t count) {
    std::istringstream text(said);
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    std::string out;
    for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) {
        out += "\n  " + lines[i];
    }
    return out;
}

}  // namespace

std::string plotScript(const AnalysisReport& report, const std::string& title) {
    std::string script =
        "# Drawn by plughost analyze; run 'gnuplot plots.gp' in this folder to redraw.\n"
        "set datafile separator ','\n";
    for (const Plot& plot : plots(report, title)) {
        for (const auto& [terminal, extension] : {std::pair{kPngTerminal, ".png"}, std::pair{kSvgTerminal, ".svg"}}) {
            script += "reset\nset datafile separator ','\nset key autotitle columnhead\n";
            script += std::string(terminal) + "\nset output '" + plot.stem + extension + "'\n";
            script += plot.body + "unset output\n";
        }
    }
    return script;
}

std::vector<std::string> plotFiles(const AnalysisReport& report) {
    std::vector<std::string> files;
    for (const Plot& plot : plots(report, "")) {
        files.push_back(plot.stem + ".png");
        files.push_back(plot.stem + ".svg");
    }
    return files;
}

std::string gnuplotProgram() {
    return programOnPath("gnuplot");
}

void runGnuplot(const std::string& program, const std::string& folder, const std::string& script) {
    // gnuplot reads its data and writes its images in the folder: it goes
    // there first ('' is a quote inside gnuplot's single quotes).
    std::string into;
    for (char c : folder) {
        into += c == '\'' ? std::string("''") : std::string(1, c);
    }
    std::string said;
    const auto collect = [&said](const char* data, std::size_t size) { said.append(data, size); };
    ChildProcess gnuplot = ChildProcess::run({program, "-e", "cd '" + into + "'", script});
    const ChildExit exit = gnuplot.finish(-1.0, collect, collect);
    if (!exit.started || (!exit.signalled && exit.code == 127)) {
        throw HostError(ErrorKind::Usage, "gnuplot cannot be started (" + program +
                                              (exit.problem.empty() ? "" : ": " + exit.problem) +
                                              "); install it or run analyze with --no-plots");
    }
    if (exit.signalled || exit.code != 0) {
        throw FileError("gnuplot failed drawing the plots:" + lastLines(said, 8));
    }
}
