#pragma once

// Shared pieces of the engine benchmarks: the corpus, the clock, memory
// readings, the peers run as child processes and the printed table.

#include "models/image/TAVImageObject.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

namespace EngineBench {

// The number of files from "--files N" (else `fallback`).
int filesArgument(int argc, char** argv, int fallback);

// Which real camera files a corpus cycles through: all seven samples in
// turn (1.1 MB a photo), or the six smaller ones twice for each 6.6 MB Sony
// file (0.7 MB a photo), for the largest save, whose photos and working
// copies would otherwise need over 11 GB at 5,000 photos.
enum class CorpusMix { AllCameras, FewerLargeFiles };

// Makes `count` distinct JPEGs in a new folder under `root` from the real
// camera samples of tests/data, each with its own capture date (one second
// apart), so that names built from the date never collide. Not timed.
QStringList makeCorpus(const QString& folder, int count, CorpusMix mix = CorpusMix::AllCameras);

// The rounds each workload is timed unless "--rounds" says otherwise; the
// files of the last round, the only one still on disk at the end, are
// checked for the same work done.
constexpr int kRounds = 5;

// A fresh corpus for one contender's round: "<root>/<who>-<round>", emptied
// first so that every round starts from the same untouched files. The
// contender's previous round is removed.
QStringList makeRoundCorpus(
    const QString& root, const QString& who, int round, int count, CorpusMix mix = CorpusMix::AllCameras);

// The engine's import of `corpus` on `threads` threads into `folder`: the
// working copy and record of each photo, in the corpus's order.
std::vector<TAVImageObjectPtr> importOn(int threads, const QStringList& corpus, const QString& folder);

// Milliseconds `work` takes on the wall clock.
double timeMs(const std::function<void()>& work);

// The resident memory of this process now, and its peak, in KiB.
long residentKiB();
long peakResidentKiB();

// Runs a program to its end, its output thrown away; false when it cannot
// start or fails.
bool run(const QString& program, const QStringList& arguments);

// One timed participant of a workload.
struct Contender {
    QString name;
    // Prepares a fresh corpus (not timed) and returns the work to time.
    std::function<std::function<void()>(int round)> prepare;
    // Runs after the timed work (not timed), to give back what the round
    // wrote once nothing checks it any more; may be empty.
    std::function<void(int round)> finish = {};
};

// Runs `rounds` rounds, each with every contender once, the order rotated
// from round to round; returns each contender's median time in ms.
std::vector<double> medianTimes(const std::vector<Contender>& contenders, int rounds);
// The same, returning every contender's times in ms, round by round.
std::vector<std::vector<double>> roundTimes(const std::vector<Contender>& contenders, int rounds);

// A ratio measured once per round: its median and its spread.
struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
    int rounds = 0;
};
// The ratio of `numerator` to `denominator` round by round.
Spread ratioSpread(const std::vector<double>& numerator, const std::vector<double>& denominator);
// Values measured once per round.
Spread spreadOf(std::vector<double> values);
// "1.54x median (0.83-2.10 over 5 rounds)".
QString describe(const Spread& spread, const char* unit = "x");

// The number of rounds from "--rounds N" (else kRounds).
int roundsArgument(int argc, char** argv);

// Prints one workload's line of the table.
void printRow(const QString& workload, int files, double lumettaMs, double exiftoolMs, double floorMs, long peakKiB,
    const QString& note = QString());
void printHeader();

// How busy the machine was while a workload ran: the one-minute load average
// at its end and the share of its time the busiest disk spent on I/O.
class MachineLoad {
public:
    // Starts watching now.
    MachineLoad();
    // "load 5.6, busiest disk busy 41% of the run" for the time since start.
    QString describe() const;

private:
    std::vector<std::pair<QString, long>> diskTicks_;
    double startMs_ = 0;
};

// A row of the performance table: "<row>: 1.26x at 200 files (target <= 1.2x): met".
// Every row printed through these counts towards exitCode.
void printTargetRow(const QString& row, int files, double ratio, double target, const QString& condition = QString());
// The same for a ratio with its spread over the rounds; met when its median is.
void printTargetRow(
    const QString& row, int files, const Spread& ratio, double target, const QString& condition = QString());

// Prints a row whose measurement the caller words itself, ending in ": met"
// or ": not met"; counts towards exitCode like printTargetRow.
void printMetRow(const QString& text, bool met);
// 0 when every row printed so far met its target, else 1: a benchmark's exit
// status, so that scripts/bench fails when a target is missed.
int exitCode();

// The folder the corpora go into (removed at exit by the caller).
QString scratchFolder();

// Whether the flag (such as "--no-peers") is among the arguments.
bool hasFlag(int argc, char** argv, const char* flag);

// The highest sum of the sizes of the files under the scratch folder seen by
// noteScratchUse, in bytes: the disk a benchmark needs.
void noteScratchUse();
qint64 peakScratchBytes();

} // namespace EngineBench
