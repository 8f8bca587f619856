// The calculator's one window: inputs, outputs, menu and its commands.
#pragma once

#include "Dialogs.h"
#include "Grid.h"

#include <QMainWindow>
#include <functional>

class QLabel;
class QLineEdit;

namespace Ui {
class TForm1;
}

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Copies every input into the record in a fixed order, each field at
    // once: a failing conversion leaves the earlier fields updated.
    void ReadInputs();

    CGrid& Grid() { return grid_; }
    const CGrid& Grid() const { return grid_; }

    // The window's components, under their own names.
    Ui::TForm1* ui;
    TSaveTextFileDialog SaveTextFileDialog1;

public slots:
    void ButtonCalculateClick();
    void Button1Click();
    void Tallennatulokset1Click();
    void Poistu1Click();

private:
    // Runs a command so that no exception reaches the event loop; a failure
    // is shown in the error box and the window stays open.
    void Guarded(const std::function<void()>& command);

    long double ReadFloat(const QLineEdit* edit, const QLabel* label) const;
    int ReadInt(const QLineEdit* edit, const QLabel* label) const;

    CGrid grid_;
};
