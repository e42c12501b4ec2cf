// SPDX-License-Identifier: MIT
#include "app/group_box_style.h"

#include <QPainter>
#include <QStyleOptionGroupBox>

namespace {

constexpr int kTitleLeft = 8;     // where the title starts, from the box's left
constexpr int kTitlePadding = 2;  // the gap in the frame line either side of it

QRect TitleRect(const QStyleOptionGroupBox& box) {
    const int width = box.fontMetrics.horizontalAdvance(box.text) + 2 * kTitlePadding;
    return QRect(box.rect.left() + kTitleLeft - kTitlePadding, box.rect.top(), width, box.fontMetrics.height());
}

// The frame line runs through the middle of the title's line.
QRect FrameRect(const QStyleOptionGroupBox& box) { return box.rect.adjusted(0, box.fontMetrics.height() / 2, 0, 0); }

}  // namespace

GroupBoxStyle* GroupBoxStyle::Instance() {
    static GroupBoxStyle* style = new GroupBoxStyle;
    return style;
}

QRect GroupBoxStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                    const QWidget* widget) const {
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !box) return QProxyStyle::subControlRect(control, option, sub, widget);
    switch (sub) {
        case SC_GroupBoxFrame: return FrameRect(*box);
        case SC_GroupBoxLabel: return TitleRect(*box);
        case SC_GroupBoxContents: return FrameRect(*box).adjusted(2, 2, -2, -2);
        default: return QProxyStyle::subControlRect(control, option, sub, widget);
    }
}

// An etched line, dark above light, with a gap where the title stands.
void GroupBoxStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                       const QWidget* widget) const {
    const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
    if (control != CC_GroupBox || !box) return QProxyStyle::drawComplexControl(control, option, painter, widget);
    const QRect frame = FrameRect(*box);
    const QRect title = TitleRect(*box);
    painter->save();
    QRegion outsideTitle(box->rect);
    if (!box->text.isEmpty()) outsideTitle -= title;
    painter->setClipRegion(outsideTitle);
    painter->setPen(box->palette.color(QPalette::Dark));
    painter->drawRect(frame.adjusted(0, 0, -2, -2));
    painter->setPen(box->palette.color(QPalette::Light));
    painter->drawRect(frame.adjusted(1, 1, -1, -1));
    painter->restore();
    if (!box->text.isEmpty()) {
        drawItemText(painter, title, Qt::AlignCenter | Qt::TextShowMnemonic, box->palette, box->state & State_Enabled,
                     box->text, QPalette::WindowText);
    }
}
