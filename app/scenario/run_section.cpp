#include "app/scenario/run_section.h"

#include "app/base/default_directories.h"
#include "app/scenario/vts_reader.h"
#include "app/scenario/vts_writer.h"

namespace velk::scenario {
namespace {

void writeList(VtsWriter& out, const std::vector<std::string>& list) {
    out.writeInt(static_cast<int32_t>(list.size()));
    for (const std::string& s : list) out.writeString(s);
}

void readList(VtsReader& in, std::vector<std::string>& list) {
    int32_t count = 0;
    // Every entry is at least its 4-byte length.
    if (!in.readCount(count, 4)) return;
    list.clear();
    for (int32_t i = 0; i < count && in.ok(); ++i) {
        std::string s;
        if (in.readString(s)) list.push_back(std::move(s));
    }
}

}  // namespace

void CRunSection::setDefaults() {
    clients = 20;
    requestsPerUser = 5;
    useRequestLimit = false;
    requestLimit = 100;
    useTimeLimit = false;
    timeLimit = 1;
    timeoutCheck = true;
    description.clear();
    outputFileTemplate = "%n-%cx%r.xls";
    writeLog = false;
    logDirectory = base::defaultDataDirectory("Logs");
    useReportDirectory = false;
    reportDirectory = base::defaultDataDirectory("Reports");
    rateMode = 0;
    rateValue = 1;
    details = false;
    timeStamps = false;
    useInitialSequence = false;
    useMainSequence = true;
    useFinalSequence = false;
    initialSequence.clear();
    mainSequence.clear();
    finalSequence.clear();
    cycling = true;
    cycleByIterations = false;
    cycleFrom = 1;
    cycleTo = 20;
    cycleStep = 1;
    pauseBetweenPasses = true;
    pauseSeconds = 1;
    useStartDelay = true;
    startDelay = 10;
    timingMode = 0;
    rounding = 0;
}

void CRunSection::write(VtsWriter& out) const {
    out.writeSchema();
    out.writeFlag(timeoutCheck);
    out.writeFlag(useFinalSequence);
    out.writeFlag(useInitialSequence);
    out.writeFlag(useMainSequence);
    out.writeInt(rateMode);
    out.writeFlag(writeLog);
    out.writeFlag(useReportDirectory);
    out.writeFlag(details);
    out.writeFlag(useStartDelay);
    out.writeFlag(cycleByIterations);
    out.writeInt(cycleFrom);
    out.writeFlag(pauseBetweenPasses);
    out.writeInt(pauseSeconds);
    out.writeInt(rateValue);
    out.writeFlag(useRequestLimit);
    out.writeInt(requestLimit);
    out.writeInt(requestsPerUser);
    out.writeFlag(useTimeLimit);
    out.writeInt(timeLimit);
    out.writeFlag(cycling);
    out.writeInt(startDelay);
    out.writeInt(cycleStep);
    out.writeFlag(timeStamps);
    out.writeInt(cycleTo);
    out.writeInt(clients);
    out.writeInt(timingMode);
    out.writeInt(rounding);
    out.writeString(description);
    out.writeString(logDirectory);
    out.writeString(outputFileTemplate);
    out.writeString(reportDirectory);
    writeList(out, finalSequence);
    writeList(out, initialSequence);
    writeList(out, mainSequence);
}

void CRunSection::read(VtsReader& in) {
    if (!in.beginRecord()) return;
    // A failed read leaves its field alone and fails every later one.
    in.readFlag(timeoutCheck);
    in.readFlag(useFinalSequence);
    in.readFlag(useInitialSequence);
    in.readFlag(useMainSequence);
    in.readInt(rateMode);
    in.readFlag(writeLog);
    in.readFlag(useReportDirectory);
    in.readFlag(details);
    in.readFlag(useStartDelay);
    in.readFlag(cycleByIterations);
    in.readInt(cycleFrom);
    in.readFlag(pauseBetweenPasses);
    in.readInt(pauseSeconds);
    in.readInt(rateValue);
    in.readFlag(useRequestLimit);
    in.readInt(requestLimit);
    in.readInt(requestsPerUser);
    in.readFlag(useTimeLimit);
    in.readInt(timeLimit);
    in.readFlag(cycling);
    in.readInt(startDelay);
    in.readInt(cycleStep);
    in.readFlag(timeStamps);
    in.readInt(cycleTo);
    in.readInt(clients);
    in.readInt(timingMode);
    in.readInt(rounding);
    in.readString(description);
    in.readString(logDirectory);
    in.readString(outputFileTemplate);
    in.readString(reportDirectory);
    readList(in, finalSequence);
    readList(in, initialSequence);
    readList(in, mainSequence);
}

}  // namespace velk::scenario
