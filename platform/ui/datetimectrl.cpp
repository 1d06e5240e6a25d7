// The date-time picker's window class: a date-time field beside a show-none check box.
#include "datetimectrl.h"
#include "uiimpl_p.h"
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>

IMPLEMENT_DYNAMIC(CDateTimeCtrl, CWnd)

namespace qv::ui::detail {
namespace {

// The value an empty field holds: earlier than any date a user picks.
const QDateTime kNoDate(QDate(1752, 9, 14), QTime(0, 0));

struct Quiet {
    explicit Quiet(int& c) : count(c) { ++count; }
    ~Quiet() { --count; }
    int& count;
};

class PickerWidget : public QWidget {
public:
    explicit PickerWidget(QWidget* parent) : QWidget(parent) {}
    QCheckBox* none = nullptr;
    QDateTimeEdit* edit = nullptr;
    int quiet = 0;  // the program's changes tell nobody
};

QString QtFormat(DWORD style) {
    if ((style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT) return QStringLiteral("HH:mm:ss");
    if (style & DTS_LONGDATEFORMAT) return QStringLiteral("dddd, d. MMMM yyyy");
    return QStringLiteral("dd.MM.yyyy");
}

// The picker's format letters are Qt's, except the am/pm mark.
QString FromPickerFormat(const QString& format) {
    QString f = format;
    f.replace(QLatin1String("tt"), QLatin1String("AP"));
    return f;
}

SYSTEMTIME ToSystemTime(const QDateTime& dt) {
    SYSTEMTIME st{};
    st.wYear = WORD(dt.date().year());
    st.wMonth = WORD(dt.date().month());
    st.wDay = WORD(dt.date().day());
    st.wDayOfWeek = WORD(dt.date().dayOfWeek() % 7);
    st.wHour = WORD(dt.time().hour());
    st.wMinute = WORD(dt.time().minute());
    st.wSecond = WORD(dt.time().second());
    return st;
}

void TellChange(HWND h) {
    Window* w = Find(h);
    auto* p = w ? dynamic_cast<PickerWidget*>(w->widget.data()) : nullptr;
    if (!p || p->quiet) return;
    NMDATETIMECHANGE nm;
    const bool none = p->none && !p->none->isChecked();
    nm.dwFlags = none ? GDT_NONE : GDT_VALID;
    if (!none) nm.st = ToSystemTime(p->edit->dateTime());
    NotifyParent(*w, nm.nmhdr, DTN_DATETIMECHANGE);
}

class DateTimeClass : public WindowClass {
public:
    QWidget* CreateWidget(Window& w, QWidget* parent) override {
        const HWND h = w.handle;
        auto* p = new PickerWidget(parent);
        auto* layout = new QHBoxLayout(p);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        if (w.style & DTS_SHOWNONE) {
            p->none = new QCheckBox(p);
            p->none->setChecked(true);
            layout->addWidget(p->none);
            QObject::connect(p->none, &QCheckBox::toggled, p, [h, p](bool on) {
                p->edit->setEnabled(on);
                if (on && p->edit->dateTime() == kNoDate) {
                    Quiet q(p->quiet);
                    p->edit->setDateTime(QDateTime::currentDateTime());
                }
                TellChange(h);
            });
        }
        p->edit = new QDateTimeEdit(QDateTime::currentDateTime(), p);
        if (p->none) {
            // An empty date shows an empty field, not the date the field showed before.
            p->edit->setMinimumDateTime(kNoDate);
            p->edit->setSpecialValueText(QStringLiteral(" "));
        }
        p->edit->setDisplayFormat(QtFormat(w.style));
        p->edit->setCalendarPopup((w.style & DTS_UPDOWN) == 0 && (w.style & DTS_TIMEFORMAT) != DTS_TIMEFORMAT);
        if (w.style & DTS_RIGHTALIGN) p->edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        layout->addWidget(p->edit, 1);
        p->setFocusProxy(p->edit);
        QObject::connect(p->edit, &QDateTimeEdit::dateTimeChanged, p, [h] { TellChange(h); });
        return p;
    }
    std::unique_ptr<CWnd> MakeObject() override { return std::make_unique<CDateTimeCtrl>(); }
    std::wstring GetText(Window& w) override {
        auto* p = dynamic_cast<PickerWidget*>(w.widget.data());
        if (!p || (p->none && !p->none->isChecked())) return L"";
        return FromQt(p->edit->text());
    }
    void SetText(Window& w, const std::wstring& text) override { w.text = text; }
    void EnableChanged(Window& w) override {
        if (auto* p = dynamic_cast<PickerWidget*>(w.widget.data())) p->update();
    }
    bool Proc(Window& w, UINT msg, WPARAM wp, LPARAM lp, LRESULT& r) override {
        auto* p = dynamic_cast<PickerWidget*>(w.widget.data());
        if (!p) return false;
        switch (msg) {
        case DTM_GETSYSTEMTIME: {
            if (p->none && !p->none->isChecked()) {
                r = GDT_NONE;
                return true;
            }
            if (lp) *reinterpret_cast<SYSTEMTIME*>(lp) = ToSystemTime(p->edit->dateTime());
            r = GDT_VALID;
            return true;
        }
        case DTM_SETSYSTEMTIME: {
            Quiet q(p->quiet);
            const auto* st = reinterpret_cast<const SYSTEMTIME*>(lp);
            if (INT_PTR(wp) == GDT_NONE || !st) {
                if (!p->none) {
                    r = FALSE;
                    return true;
                }
                p->none->setChecked(false);
                p->edit->setDateTime(kNoDate);
                r = TRUE;
                return true;
            }
            const QDateTime dt(QDate(st->wYear, st->wMonth, st->wDay), QTime(st->wHour, st->wMinute, st->wSecond));
            if (!dt.isValid()) {
                r = FALSE;
                return true;
            }
            p->edit->setDateTime(dt);
            if (p->none) p->none->setChecked(true);
            r = TRUE;
            return true;
        }
        case DTM_SETFORMATW:
            p->edit->setDisplayFormat(lp ? FromPickerFormat(ToQt(reinterpret_cast<LPCWSTR>(lp))) : QtFormat(w.style));
            r = TRUE;
            return true;
        default:
            return false;
        }
    }

};

std::unique_ptr<WindowClass> MakeDateTime() { return std::make_unique<DateTimeClass>(); }

}  // namespace

void RegisterDateTimeClass() { RegisterWindowClass(DATETIMEPICK_CLASSW, &MakeDateTime); }

}  // namespace qv::ui::detail

BOOL CDateTimeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    return CWnd::Create(DATETIMEPICK_CLASSW, nullptr, style | WS_CHILD, rect, parent, id);
}

DWORD CDateTimeCtrl::GetTime(LPSYSTEMTIME time) const {
    return DWORD(SendMessage(DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(time)));
}

BOOL CDateTimeCtrl::GetTime(COleDateTime& time) const {
    SYSTEMTIME st{};
    if (INT_PTR(SendMessage(DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st))) != GDT_VALID) {
        time.m_dt = 0;
        time.SetStatus(COleDateTime::null);
        return FALSE;
    }
    time = COleDateTime(st);
    return TRUE;
}

BOOL CDateTimeCtrl::SetTime(const SYSTEMTIME* time) {
    return BOOL(SendMessage(DTM_SETSYSTEMTIME, time ? GDT_VALID : GDT_NONE, reinterpret_cast<LPARAM>(time)));
}

BOOL CDateTimeCtrl::SetTime(const COleDateTime& time) {
    SYSTEMTIME st{};
    if (time.GetStatus() != COleDateTime::valid || !time.GetAsSystemTime(st)) return SetTime(nullptr);
    return SetTime(&st);
}

BOOL CDateTimeCtrl::SetFormat(LPCWSTR format) { return BOOL(SendMessage(DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format))); }

void DDX_DateTimeCtrl(CDataExchange* dx, int id, COleDateTime& value) {
    if (dx->m_bFailed) return;
    const HWND h = dx->PrepareCtrl(id);
    if (!h) return;
    SYSTEMTIME st{};
    if (dx->m_bSaveAndValidate) {
        if (INT_PTR(SendMessageW(h, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st))) == GDT_VALID) {
            value = COleDateTime(st);
        } else {
            value.m_dt = 0;
            value.SetStatus(COleDateTime::null);
        }
        return;
    }
    if (value.GetStatus() == COleDateTime::valid && value.GetAsSystemTime(st))
        SendMessageW(h, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
    else
        SendMessageW(h, DTM_SETSYSTEMTIME, GDT_NONE, 0);
}
