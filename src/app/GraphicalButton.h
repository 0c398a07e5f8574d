#pragma once
// A push button drawn in the classic graphical style: a flat face in the window's colour, a raised
// bevel (sunken while pressed), the caption wrapped onto as many lines as the face needs, and an
// embossed grey caption while disabled.
#include <QPushButton>

class GraphicalButton : public QPushButton
{
    Q_OBJECT
  public:
    GraphicalButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};
