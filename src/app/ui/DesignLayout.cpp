#include "DesignLayout.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// Room a push button's frame and margins take beside its text, and a text
// box's frame above and below the text.
constexpr int kButtonPadding = 8;
constexpr int kBoxPadding = 4;

QString withoutMnemonic(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

// The width and height a control needs to show its text whole.
QSize textNeed(const QWidget* w) {
    const QFontMetrics fm = w->fontMetrics();
    if (auto* label = qobject_cast<const QLabel*>(w))
        return {fm.horizontalAdvance(label->text()), fm.height()};
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        if (button->text().isEmpty())
            return {};
        int width = fm.horizontalAdvance(withoutMnemonic(button->text()));
        if (qobject_cast<const QCheckBox*>(w) || qobject_cast<const QRadioButton*>(w)) {
            width += w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                     w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
            return {width, fm.height()};
        }
        return {width + kButtonPadding, fm.height() + kBoxPadding};
    }
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w))
        return {0, fm.height() + kBoxPadding};
    if (auto* group = qobject_cast<const QGroupBox*>(w))
        return {
            group->title().isEmpty() ? 0 : fm.horizontalAdvance(group->title()) + kButtonPadding,
            0};
    return {};
}

int scaled(int v, double scale) {
    return int(std::lround(v * scale));
}

}  // namespace

DesignLayout::DesignLayout(QWidget* root) {
    take(root, true);
}

void DesignLayout::take(QWidget* container, bool topLevel) {
    for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            continue;
        items_.push_back({child, child->geometry(), topLevel});
        if (qobject_cast<QGroupBox*>(child) || child->metaObject() == &QWidget::staticMetaObject) {
            take(child, false);
        } else if (auto* area = qobject_cast<QScrollArea*>(child); area && area->widget()) {
            items_.push_back({area->widget(), area->widget()->geometry(), false});
            take(area->widget(), false);
        }
    }
}

double DesignLayout::neededScale() const {
    return std::max(1.0, smallestScale());
}

double DesignLayout::smallestScale() const {
    double scale = 0.0;
    for (const Item& item : items_) {
        if (!item.widget || item.widget->isHidden() || item.design.isEmpty())
            continue;
        const QSize need = textNeed(item.widget);
        scale = std::max({scale, need.width() / double(item.design.width()),
                          need.height() / double(item.design.height())});
    }
    return scale;
}

void DesignLayout::apply(double scale) {
    scale_ = scale;
    for (const Item& item : items_) {
        if (!item.widget)
            continue;
        const QRect& d = item.design;
        const int left = scaled(d.left(), scale);
        const int top = scaled(d.top(), scale);
        // Edges are scaled, not sizes, so neighbours stay neighbours.
        item.widget->setGeometry(left, top, scaled(d.left() + d.width(), scale) - left,
                                 scaled(d.top() + d.height(), scale) - top);
    }
}

QSize DesignLayout::extent() const {
    QSize size;
    for (const Item& item : items_) {
        if (!item.topLevel || !item.widget || item.widget->isHidden())
            continue;
        const QRect r = item.widget->geometry();
        size = size.expandedTo(QSize(r.x() + r.width(), r.y() + r.height()));
    }
    return size;
}

}  // namespace velmora
