#pragma once

#include "paintedbutton.h"

// A green, glossy rectangle with rounded corners.
class RoundRectButton : public PaintedButton
{
    Q_OBJECT
public:
    using PaintedButton::PaintedButton;

    int radius = 0;

protected:
    ButtonPainting painting() const override;
};
