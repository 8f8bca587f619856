// Typing a whole date into a date picker: "19.3.2027" (and "19.3.2027 10:00"
// in the valuation moment) gives that date, however the field was entered.
#pragma once

#include <QObject>

class QDateTimeEdit;

namespace kelvaro {

// Qt's pickers edit section by section: typing over a fully selected field
// lost the day, and a separator after a section that moved on by itself
// skipped the next one (19.3.2027 became 21.3.2027, or the year 3202).
// Installed on a picker, this starts typing at the first section and lets a
// separator move on only when the digits did not already.
class DateTyping : public QObject {
    Q_OBJECT

public:
    // Filters `picker`'s keys for as long as it lives; owned by it.
    static void Install(QDateTimeEdit* picker);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
    bool fresh_ = true;         // no key typed since focus or a click
    int lastDigitSection_ = -1; // the section the last digit went into
};

} // namespace kelvaro
