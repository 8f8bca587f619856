// Shared by the tests that drive the window: boxes recorded and the save
// dialog answered by hooks, the worked example's valuation moment, files read.
#pragma once

#include "ResultsFile.h"
#include "Dialogs.h"
#include "Kelvarounit1.h"
#include "ui_Kelvarounit1.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace kelvaro {

struct DialogRecorder {
    QStringList messages, errors;
    std::optional<QString> saveAnswer;  // nullopt: the dialog is cancelled
    int saveFilter = -1;                // the type chosen; -1 keeps the one offered
    SaveRequest saveAsked;              // what the save dialog was asked last
    QStringList questions;
    bool yesAnswer = true;

    void Install() {
        InstallDialogHooks({[this](const QString& text) { messages << text; },
                            [this](const QString& text) { errors << text; },
                            [this](const SaveRequest& request) -> std::optional<SaveAnswer> {
                                saveAsked = request;
                                if (!saveAnswer) return std::nullopt;
                                return SaveAnswer{*saveAnswer, saveFilter < 0 ? request.filter : saveFilter};
                            },
                            [this](const QString& text) {
                                questions << text;
                                return yesAnswer;
                            }});
    }
    void Clear() { messages.clear(), errors.clear(); }
    QStringList Boxes() const { return messages + errors; }
};

// Runs a command and waits for the work it started off the window's thread.
inline void RunCommand(TForm1& form, void (TForm1::*command)()) {
    (form.*command)();
    form.WaitUntilIdle();
}

// Wednesday 1 March 2006 at 10:00; with the default expiry, 21 April 2006.
inline void SetMarch1(TForm1& form) {
    form.ui->DateNow->setDateTime(QDateTime(QDate(2006, 3, 1), QTime(10, 0)));
}

inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The results file the core writes for the grid, with a decimal comma.
inline QByteArray ResultsFile(const CGrid& grid) {
    const QTemporaryDir dir;
    const QString path = dir.filePath("expected.txt");
    return WriteResultsFile(path.toStdString(), grid, ',') == SaveStatus::Ok ? ReadAll(path) : QByteArray();
}

} // namespace kelvaro
