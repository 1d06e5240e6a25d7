// The date-time picker's window class: a date-time field beside a show-none check box.
#include "datetimectrl.h"
#include "typeddate.h"
#include "uiimpl_p.h"
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>

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

// The language of the picker and its calendar: German, weeks from Monday.
QLocale PickerLocale() { return QLocale(QLocale::German, QLocale::Switzerland); }

// The date field: digits go into the section the caret is in, as the user types them ("1", "5":
// the day 15); a section typed full goes on to the next one, so that "01122026" is 1 December 2026.
// The separator goes on to the next section too, unless a full section just went on to it ("15.01."
// is the 15th of January as "1501" is). A click selects the section clicked. A day beyond the
// month's end is kept while the month and year are typed ("31" in November, then "12": 31 December).
// A date typed from its day on is read as a whole, as every date field of the program reads what is
// typed (qv::ParseDateEntry), once its year is typed full or the text ends (a click into the field,
// a move to another section, the end of the typing). The typing ends with the focus leaving the
// field or a key other than a digit, a separator or a move between sections; then a day its month
// does not have is refused too ("31" typed into the day and "2" into the month). What is refused is
// told with a word once; the field keeps showing what was typed and holds the date it held before the
// typing until the date is mended (a digit typed goes on from what was typed) or given up (Escape,
// another date picked, stepped to or set); meanwhile a save is told again and takes nothing.
// With a show-none box, an unticked field is empty and still takes the focus from a click: a digit
// typed into it ticks the box first, and a date refused leaves it empty and unticked again. It
// cannot be stepped to a date.
class DateEdit : public QDateTimeEdit {
public:
    DateEdit(const QDateTime& dt, QWidget* parent) : QDateTimeEdit(dt, parent) {
        lineEdit()->installEventFilter(this);
        // Another date picked, stepped to or set: what was refused is given up.
        connect(this, &QDateTimeEdit::dateTimeChanged, this, [this](const QDateTime& now) {
            if (refused_ && !telling_ && now != refusedAt_) Forget();
        });
    }
    void SetBox(QCheckBox* box) { box_ = box; }
    bool Refused() const { return refused_; }
    // Escape: a date refused is given up for the date held before the typing.
    bool GiveUp() {
        if (!refused_) return false;
        Forget();
        setDateTime(before_);
        if (hasFocus()) Select(0);
        return true;
    }
    // The date the field holds: while a date typed is refused, the one before the typing.
    QDateTime Held() const { return refused_ ? before_ : dateTime(); }

    // A save asks: false, with the word, while a date refused is shown; else the typing ends.
    bool Settle() {
        if (!refused_) return EndTyping();
        if (!justSaid_) Say();
        justSaid_ = false;
        return false;
    }

    // The typing ends: false when the date typed was refused.
    bool EndTyping() {
        if (refused_) return true;  // said already; it stays to be mended
        if (!EndText()) return false;
        if (!typing_) return true;
        typing_ = false;
        const QDate shown = dateTime().date();
        if (dayTyped_ <= shown.daysInMonth()) return true;
        return Refuse(QStringLiteral("%1.%2.%3")
                          .arg(dayTyped_, 2, 10, QLatin1Char('0'))
                          .arg(shown.month(), 2, 10, QLatin1Char('0'))
                          .arg(shown.year()));
    }
    // The program sets another date: what was being typed is dropped.
    void Forget() {
        const bool shown = refused_;
        refused_ = false;
        typing_ = false;
        fromEmpty_ = false;
        advanced_ = false;
        pending_.clear();
        pendingSection_ = NoSection;
        if (shown) setDateTime(dateTime());  // shows the date held again
    }

protected:
    QString textFromDateTime(const QDateTime& dt) const override {
        if (refused_ && dt == refusedAt_) return refusedText_;
        return QDateTimeEdit::textFromDateTime(dt);
    }
    // The text refused is shown as it was typed: not mended to a date, nor read as one.
    QValidator::State validate(QString& text, int& pos) const override {
        if (refused_ && text == refusedText_) return QValidator::Acceptable;
        return QDateTimeEdit::validate(text, pos);
    }
    QDateTime dateTimeFromText(const QString& text) const override {
        if (refused_ && text == refusedText_) return refusedAt_;
        return QDateTimeEdit::dateTimeFromText(text);
    }
    void keyPressEvent(QKeyEvent* e) override {
        // A modifier alone is part of the key it modifies ("/" with Shift).
        const int key = e->key();
        if (key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_AltGr ||
            key == Qt::Key_Meta || key == Qt::Key_CapsLock) {
            QDateTimeEdit::keyPressEvent(e);
            return;
        }
        const QString text = e->text();
        const bool plain = (e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) == Qt::NoModifier;
        const bool advanced = advanced_;
        advanced_ = false;
        if (key == Qt::Key_Escape && GiveUp()) {
            e->accept();
            return;
        }
        if (plain && text.size() == 1 && text[0].isDigit()) {
            if (Unticked()) {
                // Ticked as the user ticks it (the form may propose its date), then typed over.
                box_->setChecked(true);
                Forget();
                Select(0);
                fromEmpty_ = true;
            }
            if (TypeDigit(text[0])) {
                e->accept();
                return;
            }
        }
        const bool separator = plain && text.size() == 1 && (text[0].isPunct() || text[0].isSpace());
        if (separator && typing_) typed_ += text[0];
        // The separator after a section that went on by itself was typed for that section.
        if (advanced && separator) {
            e->accept();
            return;
        }
        const bool move = key == Qt::Key_Left || key == Qt::Key_Right;
        if (separator) {
            Commit();
        } else if (!(move ? EndText() : EndTyping())) {
            // A refused date is mended here: Enter does not go on to the dialog's button.
            e->accept();
            return;
        }
        QDateTimeEdit::keyPressEvent(e);
    }
    void focusOutEvent(QFocusEvent* e) override {
        advanced_ = false;
        if (!EndTyping()) {
            // Said as the field is left: a save the same click asks for is not told again.
            justSaid_ = true;
            QMetaObject::invokeMethod(this, [this] { justSaid_ = false; }, Qt::QueuedConnection);
        }
        QDateTimeEdit::focusOutEvent(e);
    }
    bool focusNextPrevChild(bool next) override {
        advanced_ = false;
        if (!EndText()) return true;
        return QDateTimeEdit::focusNextPrevChild(next);
    }
    void mousePressEvent(QMouseEvent* e) override {
        // The calendar's arrow: the date typed is judged before the calendar opens on it.
        advanced_ = false;
        if (!EndTyping()) {
            e->accept();
            return;
        }
        QDateTimeEdit::mousePressEvent(e);
        // An empty field's calendar offers today; only a day picked in it is a date.
        QCalendarWidget* calendar = calendarPopup() ? calendarWidget() : nullptr;
        if (Unticked() && calendar && calendar->isVisible()) {
            const QSignalBlocker quiet(calendar);
            calendar->setSelectedDate(QDate::currentDate());
        }
    }
    StepEnabled stepEnabled() const override { return Unticked() ? StepNone : QDateTimeEdit::stepEnabled(); }
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == lineEdit()) {
            if (e->type() == QEvent::MouseButtonPress) {
                advanced_ = false;
                EndText();
            }
            else if (e->type() == QEvent::MouseButtonRelease) {
                // After the field has taken the release, which clears a selection clicked into.
                // Only a field that took the focus shows its section chosen; an empty one its caret.
                QMetaObject::invokeMethod(this, [this] {
                    if (hasFocus() && !Unticked() && !lineEdit()->hasSelectedText()) Select(currentSectionIndex());
                }, Qt::QueuedConnection);
            }
        }
        return QDateTimeEdit::eventFilter(o, e);
    }

private:
    bool Unticked() const { return box_ && !box_->isChecked(); }
    // The section typing goes into: the caret's, or the first when the selection spans several.
    int StartSection() const {
        const QLineEdit* le = lineEdit();
        if (le->hasSelectedText() && le->selectedText().size() > sectionText(currentSection()).size()) return 0;
        return currentSectionIndex();
    }
    void Select(int index) { setSelectedSection(sectionAt(index)); }
    int Digits(Section s) const {
        if (s != YearSection) return 2;
        return displayFormat().contains(QLatin1String("yyyy")) ? 4 : 2;
    }
    static int Low(Section s) { return s == DaySection || s == MonthSection ? 1 : 0; }
    int High(Section s) const {
        switch (s) {
        case DaySection: return 31;
        case MonthSection: return 12;
        case HourSection: return displayFormat().contains(QLatin1String("AP"), Qt::CaseInsensitive) ? 12 : 23;
        case MinuteSection:
        case SecondSection: return 59;
        default: return 9999;
        }
    }
    // Day, month and year lead the format: a date can be typed from its start.
    bool TakesWholeDates() const {
        return sectionCount() >= 3 && sectionAt(0) == DaySection && sectionAt(1) == MonthSection &&
               sectionAt(2) == YearSection;
    }
    void BeginTyping(int index) {
        typing_ = true;
        // Typed into an empty field: a refusal empties it again.
        before_ = fromEmpty_ ? kNoDate : dateTime();
        fromEmpty_ = false;
        typed_.clear();
        dayTyped_ = before_.date().day();
        whole_ = index == 0 && TakesWholeDates();
        yearTyped_ = false;
    }
    bool TypeDigit(QChar digit) {
        const int index = StartSection();
        const Section s = sectionAt(index);
        if (!(s & (DaySection | MonthSection | YearSection | HourSection | MinuteSection | SecondSection))) return false;
        if (s == MonthSection && displayFormat().contains(QLatin1String("MMM"))) return false;
        if (refused_) {
            // Mended: typed anew from the date refused; Escape still gives back the date before.
            const QDateTime held = before_;
            const int day = dayTyped_;
            refused_ = false;
            setDateTime(dateTime());
            BeginTyping(index);
            before_ = held;
            dayTyped_ = day;
            Select(index);
        }
        if (!typing_) BeginTyping(index);
        typed_ += digit;
        if (pendingSection_ != s || pending_.size() >= Digits(s)) pending_.clear();
        QString typed = pending_ + digit;
        if (s != YearSection && typed.toInt() > High(s)) typed = QString(digit);
        pending_ = typed;
        pendingSection_ = s;
        const int value = typed.toInt();
        if (s == YearSection) {
            yearTyped_ = true;
            // A year is taken once it is complete; a shorter one when the section is left.
            if (typed.size() == Digits(s)) {
                Apply(s, Digits(s) == 2 ? qv::FullYear(value) : value);
                // The whole date is typed: it is read now, and what follows is typed on its own.
                if (whole_ && !EndText()) return true;
            }
        } else if (value >= Low(s)) {
            Apply(s, value);
        }
        if (typed.size() == Digits(s) && value >= Low(s) && index + 1 < sectionCount()) {
            pending_.clear();
            pendingSection_ = NoSection;
            advanced_ = true;
            Select(index + 1);
            return true;
        }
        Select(index);
        return true;
    }
    // The digits typed into a section go in; a year of two digits once the section is left.
    void Commit() {
        if (pendingSection_ == YearSection && Digits(YearSection) == 4 && pending_.size() <= 2 && !pending_.isEmpty())
            Apply(YearSection, qv::FullYear(pending_.toInt()));
        pending_.clear();
        pendingSection_ = NoSection;
    }
    // The text typed ends: a date typed from its day to its year is judged, and the typing ends with
    // it; digits typed after it go into their sections. False when the date was refused.
    bool EndText() {
        Commit();
        if (!typing_ || !whole_) return true;
        whole_ = false;
        if (!yearTyped_) return true;
        typing_ = false;
        return Judge();
    }
    // The date typed from its day on, read as every date field reads it.
    bool Judge() {
        COleDateTime date;
        if (!qv::ParseDateEntry(CString(FromQt(typed_)), qv::DateEntry::date, date)) return Refuse(typed_);
        const QDateTime dt(QDate(date.GetYear(), date.GetMonth(), date.GetDay()), dateTime().time());
        if (!dt.isValid() || dt < minimumDateTime() || dt > maximumDateTime()) return Refuse(typed_);
        setDateTime(dt);
        return true;
    }
    bool Refuse(const QString& typed) {
        const QDateTime shown = dateTime();
        QString text = QDateTimeEdit::textFromDateTime(shown);
        const QString format = displayFormat();
        if (format.startsWith(QLatin1String("dd")) && !format.startsWith(QLatin1String("ddd")) && text.size() >= 2)
            text.replace(0, 2, QStringLiteral("%1").arg(dayTyped_, 2, 10, QLatin1Char('0')));
        const int day = dayTyped_;
        Forget();
        word_ = typed;
        if (before_ == kNoDate) {
            setDateTime(before_);  // empty again
        } else {
            // Shown as typed until it is mended or given up; the field holds its date before.
            refused_ = true;
            typing_ = true;
            whole_ = false;
            dayTyped_ = day;
            refusedAt_ = shown;
            refusedText_ = text;
            setDateTime(shown);
            telling_ = true;
            emit dateTimeChanged(before_);
            telling_ = false;
        }
        if (hasFocus() && !Unticked()) Select(0);
        Say();
        return false;
    }
    void Say() {
        AfxMessageBox(qv::DateEntryRefusal(CString(FromQt(word_)), qv::DateEntry::date), MB_OK | MB_ICONEXCLAMATION);
    }
    void Apply(Section s, int value) {
        const QDateTime now = dateTime();
        int year = now.date().year(), month = now.date().month(), day = typing_ ? dayTyped_ : now.date().day();
        int hour = now.time().hour(), minute = now.time().minute(), second = now.time().second();
        switch (s) {
        case DaySection: day = dayTyped_ = value; break;
        case MonthSection: month = value; break;
        case YearSection: year = value; break;
        case HourSection:
            hour = value;
            if (displayFormat().contains(QLatin1String("AP"), Qt::CaseInsensitive)) hour = value % 12 + (now.time().hour() >= 12 ? 12 : 0);
            break;
        case MinuteSection: minute = value; break;
        case SecondSection: second = value; break;
        default: return;
        }
        // Shown meanwhile at the month's end; the end of the typing judges the day typed.
        day = std::min(day, QDate(year, month, 1).daysInMonth());
        const QDateTime dt(QDate(year, month, day), QTime(hour, minute, second));
        if (!dt.isValid() || dt < minimumDateTime() || dt > maximumDateTime()) return;
        setDateTime(dt);
    }

    QCheckBox* box_ = nullptr;  // the show-none box, if any
    bool fromEmpty_ = false;    // the box was ticked by the digit being typed
    QString pending_;  // the digits typed into the section so far
    bool advanced_ = false;  // the last digit filled its section and the caret went on
    Section pendingSection_ = NoSection;
    bool typing_ = false;     // a date is being typed
    bool whole_ = false;      // ... from its day on
    bool yearTyped_ = false;  // ... as far as its year
    QString typed_;           // the digits and separators typed
    QDateTime before_;        // the date shown before the typing began
    int dayTyped_ = 0;        // the day the typing names, kept while a shorter month is shown
    bool refused_ = false;    // the date typed was refused and is shown until mended or given up
    QString refusedText_;     // ... as it is shown
    QDateTime refusedAt_;     // ... the date the typing had reached
    QString word_;            // the text the refusal names
    bool justSaid_ = false;   // the refusal was said as the field was left, in this turn of the event loop
    bool telling_ = false;    // the date held is told
};

// Puts the drop-down calendar's right edge under the field's right edge.
class RightAligned : public QObject {
public:
    RightAligned(QWidget* field, QObject* parent) : QObject(parent), field_(field) {}
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* popup = qobject_cast<QWidget*>(o);
        if (popup && field_ && e->type() == QEvent::Show) {
            int x = field_->mapToGlobal(QPoint(field_->width(), 0)).x() - popup->width();
            if (const QScreen* screen = field_->screen()) x = std::max(x, screen->availableGeometry().left());
            popup->move(x, popup->y());
        }
        return false;
    }

private:
    QPointer<QWidget> field_;
};

class PickerWidget : public QWidget {
public:
    explicit PickerWidget(QWidget* parent) : QWidget(parent) {}
    QCheckBox* none = nullptr;
    QDateTimeEdit* edit = nullptr;
    int quiet = 0;  // the program's changes tell nobody
};

// The date the picker holds: not a date shown that was refused.
QDateTime Held(const PickerWidget* p) {
    const auto* typing = dynamic_cast<const DateEdit*>(p->edit);
    return typing ? typing->Held() : p->edit->dateTime();
}

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
    if (!none) nm.st = ToSystemTime(Held(p));
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
            // Unticked, the field stays where the focus can go and shows no date.
            QObject::connect(p->none, &QCheckBox::toggled, p, [h, p](bool on) {
                {
                    Quiet q(p->quiet);
                    if (on && p->edit->dateTime() == kNoDate) p->edit->setDateTime(QDateTime::currentDateTime());
                    if (!on) {
                        if (auto* typing = dynamic_cast<DateEdit*>(p->edit)) typing->Forget();
                        p->edit->setDateTime(kNoDate);
                    }
                }
                TellChange(h);
            });
        }
        auto* edit = new DateEdit(QDateTime::currentDateTime(), p);
        edit->SetBox(p->none);
        p->edit = edit;
        p->edit->setLocale(PickerLocale());
        if (p->none) {
            // An empty date shows an empty field, not the date the field showed before.
            p->edit->setMinimumDateTime(kNoDate);
            p->edit->setSpecialValueText(QStringLiteral(" "));
        }
        p->edit->setDisplayFormat(QtFormat(w.style));
        if ((w.style & DTS_UPDOWN) == 0 && (w.style & DTS_TIMEFORMAT) != DTS_TIMEFORMAT) {
            p->edit->setCalendarPopup(true);
            auto* calendar = new QCalendarWidget(p->edit);
            calendar->setLocale(PickerLocale());
            calendar->setFirstDayOfWeek(Qt::Monday);
            p->edit->setCalendarWidget(calendar);
            if (w.style & DTS_RIGHTALIGN) calendar->window()->installEventFilter(new RightAligned(p->edit, calendar));
        }
        layout->addWidget(p->edit, 1);
        p->setFocusProxy(p->edit);
        QObject::connect(p->edit, &QDateTimeEdit::dateTimeChanged, p, [h, p](const QDateTime& dt) {
            if (p->quiet) return;
            // A date picked into the empty field ticks its box as the user ticks it (the form may
            // propose a date then) and is the date; the field emptied again (a calendar left with
            // Escape) unticks it.
            if (p->none && p->none->isChecked() != (dt != kNoDate)) {
                p->none->setChecked(dt != kNoDate);
                if (dt != kNoDate && p->edit->dateTime() != dt) p->edit->setDateTime(dt);
                return;
            }
            TellChange(h);
        });
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
            if (lp) *reinterpret_cast<SYSTEMTIME*>(lp) = ToSystemTime(Held(p));
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
                if (auto* typing = dynamic_cast<DateEdit*>(p->edit)) typing->Forget();
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
            // Another date than the one shown: what the user was typing is dropped.
            if (auto* typing = dynamic_cast<DateEdit*>(p->edit); typing && (dt != p->edit->dateTime() || typing->Refused())) typing->Forget();
            p->edit->setDateTime(dt);
            if (p->none) p->none->setChecked(true);
            r = TRUE;
            return true;
        }
        case QV_DTM_GIVEUP: {
            auto* typing = dynamic_cast<DateEdit*>(p->edit);
            r = typing && typing->GiveUp();
            return true;
        }
        case QV_DTM_ENDTYPING: {
            auto* typing = dynamic_cast<DateEdit*>(p->edit);
            r = !typing || typing->Settle();
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

BOOL CDateTimeCtrl::EndTyping() { return m_hWnd ? BOOL(SendMessage(QV_DTM_ENDTYPING, 0, 0)) : TRUE; }

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
