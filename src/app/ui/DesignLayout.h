#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <vector>

namespace velmora {

// A form laid out by fixed rectangles, as designed for the default font.
// When the fonts need more room than the design gives, every rectangle
// grows by one factor, so the form keeps its look and no text is cut; at
// the default font it stays exactly as designed. On a screen too small for
// it, the rectangles shrink by one factor, down to where a text would be cut.
class DesignLayout {
  public:
    DesignLayout() = default;
    // Takes the design rectangles of every control under `root`.
    explicit DesignLayout(QWidget* root);

    // The factor the current fonts need: 1 when every text fits.
    double neededScale() const;
    // The smallest factor at which every shown text still fits: below 1
    // where the design leaves room around its texts.
    double smallestScale() const;
    void apply(double scale);
    double scale() const { return scale_; }
    // The room the shown controls take in `root`, from its top-left corner.
    QSize extent() const;

  private:
    struct Item {
        QPointer<QWidget> widget;
        QRect design;
        bool topLevel;  // a direct child of the root
    };
    void take(QWidget* container, bool topLevel);

    std::vector<Item> items_;
    double scale_ = 1.0;
};

}  // namespace velmora
