#include "DateTyping.h"

#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QLineEdit>

namespace kelvaro {

void DateTyping::Install(QDateTimeEdit* picker) {
    picker->installEventFilter(new DateTyping(picker));
}

bool DateTyping::eventFilter(QObject* watched, QEvent* event) {
    auto* picker = static_cast<QDateTimeEdit*>(watched);
    switch (event->type()) {
    case QEvent::FocusIn:
    case QEvent::MouseButtonPress:
        fresh_ = true;
        lastDigitSection_ = -1;
        break;
    case QEvent::KeyPress: {
        const QString text = static_cast<QKeyEvent*>(event)->text();
        if (text.size() != 1) break;
        const QChar key = text.front();
        if (key.isDigit()) {
            const auto* line = picker->findChild<QLineEdit*>();
            const bool all =
                line != nullptr && line->hasSelectedText() && line->selectedText() == line->text();
            if (fresh_ || all) {
                picker->setCurrentSectionIndex(0);
                picker->setSelectedSection(picker->currentSection());
            }
            fresh_ = false;
            lastDigitSection_ = picker->currentSectionIndex();
            return false;
        }
        if (QStringLiteral(".,/-: ").contains(key)) {
            // Two digits of a day or a month move on by themselves.
            const bool movedOn =
                lastDigitSection_ >= 0 && picker->currentSectionIndex() != lastDigitSection_;
            lastDigitSection_ = -1;
            fresh_ = false;
            const int next = picker->currentSectionIndex() + 1;
            if (!movedOn && next < picker->sectionCount()) {
                picker->setCurrentSectionIndex(next);
                picker->setSelectedSection(picker->currentSection());
            }
            return true;
        }
        break;
    }
    default:
        break;
    }
    return false;
}

} // namespace kelvaro
