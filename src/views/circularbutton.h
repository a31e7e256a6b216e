#pragma once

#include "paintedbutton.h"

// A grey, glossy disc.
class CircularButton : public PaintedButton
{
    Q_OBJECT
public:
    using PaintedButton::PaintedButton;

protected:
    ButtonPainting painting() const override;
};
