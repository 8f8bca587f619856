// Qt's own texts (the save dialog, its overwrite prompt, Yes and No) in the
// system's language.
#pragma once

#include <QLocale>

class QCoreApplication;

namespace kelvaro {

// Installs Qt's base catalogue for `locale` when it is Finnish; true when one
// was installed. Other languages keep Qt's built-in English.
bool InstallQtTranslations(QCoreApplication& application,
                           const QLocale& locale = QLocale::system());

} // namespace kelvaro
