// The status lamp: a solid square with a one-pixel outline, coloured by a 24-bit colour value.
#pragma once

#include <QWidget>
#include <cstdint>

namespace ui {

class LampShape : public QWidget
{
    Q_OBJECT

public:
    explicit LampShape(QWidget *parent = nullptr);

    int32_t fillColour() const { return m_fillColour; }
    void setFillColour(int32_t colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int32_t m_fillColour = 0;
};

} // namespace ui
