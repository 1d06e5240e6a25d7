#pragma once
// The host frame with a data logger that records its entries, for tests of the clients that log
// through the frame.
#include "fakehost.h"
#include "qvdataloggerint.h"

#include <mutex>
#include <string>
#include <vector>

namespace qvtest {

struct LogEntry {
    std::wstring source;
    long level = 0;
    std::wstring guid;
    std::wstring text;
    long threadId = 0;
};

class RecordingLogger : public StackObject<IQvDataLogger, IID_IQvDataLogger> {
public:
    HRESULT WriteEntry(BSTR source, long level, BSTR guid, BSTR text, long threadId) override {
        std::lock_guard g(lock);
        entries.push_back({Str(source), level, Str(guid), Str(text), threadId});
        return S_OK;
    }
    std::vector<LogEntry> Entries() {
        std::lock_guard g(lock);
        return entries;
    }
    void Clear() {
        std::lock_guard g(lock);
        entries.clear();
    }

private:
    std::mutex lock;
    std::vector<LogEntry> entries;
};

// A frame that runs the recording data logger, registered for the time of a test.
class FrameWithLogger {
public:
    FrameWithLogger() {
        RegisterProgId(QVDATALOGGER_PROGID, CLSID_QvDataLogger);
        frame.Offer(CLSID_QvDataLogger);
        qv::RegisterRunningServer(QV_FRAME_PROGID, &frame);
        qv::RegisterRunningServer(QVDATALOGGER_PROGID, &logger);
    }
    ~FrameWithLogger() {
        qv::RevokeRunningServer(QVDATALOGGER_PROGID);
        qv::RevokeRunningServer(QV_FRAME_PROGID);
    }
    FrameWithLogger(const FrameWithLogger&) = delete;
    FrameWithLogger& operator=(const FrameWithLogger&) = delete;

    FakeFrame frame;
    RecordingLogger logger;
};

}  // namespace qvtest
