#pragma once

#include <QWidget>
#include <cstdint>

namespace velmora {

// A small rectangle with curved corners filled with a page colour.
class ColourSwatch : public QWidget {
    Q_OBJECT
public:
    explicit ColourSwatch(QWidget* parent = nullptr) : QWidget(parent) {}

    std::uint32_t colour() const { return colour_; }
    void setColour(std::uint32_t colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::uint32_t colour_ = 0;
};

// A page colour (red in the lowest byte) as a QColor, and back.
QColor toQColor(std::uint32_t colour);
std::uint32_t fromQColor(const QColor& colour);

}  // namespace velmora
