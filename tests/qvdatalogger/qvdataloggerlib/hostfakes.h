#pragma once
// A host frame that offers a list of server classes, and a data logger that records its entries,
// for tests of the clients that reach the suite's servers through the frame.
#include "oleauto.h"
#include "qvcomserver.h"
#include "qvdataloggerint.h"
#include "qvfinit.h"
#include "qvregistry.h"
#include "qvrunning.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace qvtest {

// IUnknown and one more interface on a stack object; the count is only watched, never deletes.
template <class Interface, const IID& Iid>
class StackObject : public Interface {
public:
    HRESULT QueryInterface(REFIID iid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (iid == IID_IUnknown || iid == Iid) {
            *ppv = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    std::atomic<ULONG> refs{1};
};

class FakeFrame : public StackObject<IQvFServerList, IID_IQvFServerList> {
public:
    HRESULT Reserved() override { return E_NOTIMPL; }
    HRESULT ReleaseServer(CLSID) override { return S_OK; }
    HRESULT IsServerAvailable(CLSID clsid) override {
        std::lock_guard g(lock);
        ++asked;
        return offered.count(clsid) ? S_OK : S_FALSE;
    }
    void Offer(const CLSID& clsid) {
        std::lock_guard g(lock);
        offered.insert(clsid);
    }
    int Asked() {
        std::lock_guard g(lock);
        return asked;
    }

private:
    std::mutex lock;
    std::set<CLSID> offered;
    int asked = 0;
};

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
    static std::wstring Str(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
    std::mutex lock;
    std::vector<LogEntry> entries;
};

// Writes HKCR\<progId>\CLSID, as a server's registration does, so CLSIDFromProgID finds it.
inline bool RegisterProgId(const wchar_t* progId, const CLSID& clsid) {
    const std::wstring key = std::wstring(progId) + L"\\CLSID";
    const std::wstring text = qv::GuidToString(clsid);
    return RegSetValueW(HKEY_CLASSES_ROOT, key.c_str(), REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

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
