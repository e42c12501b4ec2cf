// SPDX-License-Identifier: MIT
#pragma once

#include <QProxyStyle>

// The window's layout was drawn for group boxes whose etched frame line runs
// through the middle of the title, so that controls 16 pixels below a box's
// top sit clear inside it. Qt's own styles draw the line below the title,
// through the first row of controls. This style draws group boxes as they
// were drawn and leaves everything else to the application's style.
class GroupBoxStyle : public QProxyStyle {
public:
    // One for the whole program: widgets keep a pointer to their style.
    static GroupBoxStyle* Instance();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override;
};
