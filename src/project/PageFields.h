#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <utility>

#include "PageRecord.h"

namespace velmora {

// The window's fields: the working copy of the current page. The builder,
// Fill, generation and the page operations read and write a page through
// this interface, so they behave the same in the window and headless.
//
// Change semantics (the project's change flag is fed through the handler):
// - a text box reports a change only when its text really differs;
// - the drop-down lists (the robots choice and the four alignments) set here
//   report nothing: only the user's own choice counts, and that is the
//   window's business;
// - a check box reports only when its state changes;
// - a colour set by showing a page reports nothing (only a confirmed colour
//   dialog does, which is the window's business);
// - Edit2, ImageSource and the two hidden previous-link fields report nothing.
class PageFields {
public:
    virtual ~PageFields() = default;

    // PageFolder has no counterpart among the fields.
    virtual QByteArray text(TextField f) const = 0;
    virtual void setText(TextField f, const QByteArray& value) = 0;

    virtual std::uint32_t colour(ColourField f) const = 0;
    virtual void setColour(ColourField f, std::uint32_t value) = 0;

    virtual bool flag(FlagField f) const = 0;
    virtual void setFlag(FlagField f, bool on) = 0;

    virtual QByteArray pageNo() const = 0;
    virtual void setPageNo(const QByteArray& counter) = 0;

    void setChangeHandler(std::function<void()> handler) { changeHandler_ = std::move(handler); }

protected:
    void reportChange()
    {
        if (changeHandler_) changeHandler_();
    }

private:
    std::function<void()> changeHandler_;
};

// Fields whose text changes report a change of the project when the user
// edits them.
bool reportsChange(TextField f);

// Fields that also report a text the system puts there (showing a page,
// Fill): the single-line and multi-line boxes. The editable drop-down lists
// report only the user's own changes.
bool reportsShownChange(TextField f);

// How a multi-line field holds its text: the sub-heading keeps its lines
// separated by CR LF; the description ends every line, the last included,
// with CR LF. Any of CR LF, LF or CR in the input counts as one line break,
// and a final line break adds no empty line.
QByteArray normaliseMultiLine(TextField f, const QByteArray& text);

// The description as the window shows it: its lines joined by CR LF, with
// none after the last. This is what the builder puts into a page.
QByteArray shownDescription(const QByteArray& text);

// The fields held in memory, for velmora-cli and tests.
class MemoryPageFields final : public PageFields {
public:
    MemoryPageFields();

    QByteArray text(TextField f) const override;
    void setText(TextField f, const QByteArray& value) override;
    std::uint32_t colour(ColourField f) const override;
    void setColour(ColourField f, std::uint32_t value) override;
    bool flag(FlagField f) const override;
    void setFlag(FlagField f, bool on) override;
    QByteArray pageNo() const override { return pageNo_; }
    void setPageNo(const QByteArray& counter) override { pageNo_ = counter; }

private:
    std::array<QByteArray, kTextFieldCount> texts_;
    std::array<std::uint32_t, kColourFieldCount> colours_{};
    std::array<bool, kFlagFieldCount> flags_{};
    QByteArray pageNo_;
};

}  // namespace velmora
