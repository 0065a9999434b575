#pragma once
// What a completion writes: the message-log lines of a write, verify or blank check result and
// the one box some of them show, as a pure function of the step's result. The view logs the
// lines in order (after the elapsed line where elapsedFirst is set), finishes its state changes,
// and then opens the box.

#include "operations/OperationFlow.h"

#include <string>
#include <vector>

// The colour of a log line (the view maps it onto its log colours).
enum class LineTone { Normal, Info, Success, Error };

struct ReportLine {
    std::string text; // "\r\n" ended
    LineTone tone = LineTone::Normal;

    friend bool operator==(const ReportLine&, const ReportLine&) = default;
};

struct CompletionReport {
    bool elapsedFirst = false; // the elapsed line goes before these
    std::vector<ReportLine> lines;
    std::string boxText; // a box when not empty (its line without the line end)
    std::string boxCaption;
};

struct ReportContext {
    bool inWalk = false; // the result belongs to a buffer walk
    bool walkEnded = false; // and the walk ends with it
    bool secondPassArmed = false; // a done write only armed the second pass of a double write
};

CompletionReport MakeCompletionReport(const StepResult& result, const ReportContext& context);
