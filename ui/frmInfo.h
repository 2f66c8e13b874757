// The information window: what the logger works with and how to use it, with a Close button.
#pragma once

#include <QDialog>
#include <array>

class QLabel;
class QPushButton;

namespace ui {

class frmInfo : public QDialog
{
    Q_OBJECT

public:
    explicit frmInfo(QWidget *owner);

public slots:
    void CloseInfo();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::array<QLabel *, 13> Label1 {};
    QPushButton *Command1 = nullptr;
};

} // namespace ui
