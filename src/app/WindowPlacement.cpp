#include "app/WindowPlacement.h"

#include "platform/JsonFields.h"
#include "platform/SettingsStore.h"

#include <algorithm>

namespace oxel {

namespace {

// Far beyond any desktop; a record outside it was not written by a window.
constexpr int64_t farthest = 1 << 20;

int coordinate(const Json& record, const char* key)
{
    const int64_t value = requiredInteger(record, key);
    if (value < -farthest || value > farthest) throw JsonFieldError{{key, "beyond any desktop"}};
    return int(value);
}

// The start of a span of `length` moved into [first, last] as far as it fits, else at `first`.
int within(int start, int length, int first, int last)
{
    return std::max(first, std::min(start, last + 1 - length));
}

} // namespace

std::optional<WindowPlacement> WindowPlacement::kept(const SettingsStore& settings)
{
    const std::optional<Json> record = settings.value(key);
    if (!record || !record->is_object()) return std::nullopt;
    try {
        WindowPlacement placement{QRect(coordinate(*record, "x"), coordinate(*record, "y"),
                                        coordinate(*record, "width"), coordinate(*record, "height")),
                                  requiredBoolean(*record, "maximised"),
                                  QMargins(coordinate(*record, "frameLeft"), coordinate(*record, "frameTop"),
                                           coordinate(*record, "frameRight"), coordinate(*record, "frameBottom"))};
        if (placement.normal.isEmpty()) return std::nullopt;
        return placement;
    } catch (const JsonFieldError&) {
        return std::nullopt;
    }
}

void WindowPlacement::keep(SettingsStore& settings) const
{
    settings.setValue(key, Json{{"x", normal.x()},
                                {"y", normal.y()},
                                {"width", normal.width()},
                                {"height", normal.height()},
                                {"maximised", maximised},
                                {"frameLeft", frame.left()},
                                {"frameTop", frame.top()},
                                {"frameRight", frame.right()},
                                {"frameBottom", frame.bottom()}});
}

bool WindowPlacement::leavesRoomOn(const QRect& available, const QSize& minimum) const
{
    const bool drawn = frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 && frame.bottom() >= 0;
    // A screen too small for the window anyway is asked only for what it leaves inside a usual frame.
    const QSize needed = minimum.expandedTo({1, 1}).boundedTo(available.marginsRemoved(usualFrame).size());
    const QSize inside = available.marginsRemoved(frame).size();
    return drawn && inside.width() >= needed.width() && inside.height() >= needed.height();
}

QRect WindowPlacement::fittedTo(const QRect& available, const QSize& minimum) const
{
    // A frame no desktop draws was edited in: without it the window still meets the screen.
    const QRect inside = leavesRoomOn(available, minimum) ? available.marginsRemoved(frame) : available;
    const QSize size = normal.size().boundedTo(inside.size()).expandedTo(minimum);
    return {within(normal.x(), size.width(), inside.left(), inside.right()),
            within(normal.y(), size.height(), inside.top(), inside.bottom()), size.width(), size.height()};
}

} // namespace oxel
