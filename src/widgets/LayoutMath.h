#pragma once
// The arithmetic of the proportional dialog layout, free of any window system:
// edges scaled with a rounding error carried per control and edge, the
// height rule of small text controls, and the font face limit.
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace vantor::widgets {

// Control kinds, as the layout tells them apart.
enum class ControlKind : int {
    kStatic = 0,
    kEdit = 1,
    kButton = 2,
    kComboBox = 3,
    kListView = 4,
    kIpAddress = 5,
    kOther = 1000,
};

// Edges as the window system keeps them: right and bottom exclusive.
struct EdgeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const EdgeRect&) const = default;
};

// Rounding error carried for one control, one value per edge.
struct EdgeErrors {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
};

// The carried errors of up to kMaxLayoutSlots controls; later controls are
// scaled without carry rather than written past the end.
constexpr size_t kMaxLayoutSlots = 500;
class LayoutErrors {
public:
    void Clear() { m_slots.fill(EdgeErrors{}); }
    EdgeErrors* Slot(size_t index) { return index < m_slots.size() ? &m_slots[index] : nullptr; }

private:
    std::array<EdgeErrors, kMaxLayoutSlots> m_slots{};
};

// Controls up to this height keep it (text controls, see ScaleControlRect).
constexpr int kMaxFixedHeight = 49;

// value * scale truncated toward zero; the part cut off is added to *error,
// and once the error's magnitude exceeds 1 its whole part goes into the
// result. error may be null (no carry).
int ScaleEdge(int value, double scale, float* error);

// The new rectangle of a control on a parent scaled by sx, sy. Static, edit
// and button controls no higher than kMaxFixedHeight keep their height (but
// grow to textHeight + 2 when lower than textHeight); everything else scales
// its bottom edge too. errors may be null (no carry).
EdgeRect ScaleControlRect(const EdgeRect& r, double sx, double sy, ControlKind kind, int textHeight,
                          EdgeErrors* errors);

// The face name kept for the dialog font: at most maxBytes bytes of UTF-8,
// cut before a character that would not fit whole.
constexpr size_t kMaxFaceBytes = 29;
std::string CutFaceName(std::string_view face, size_t maxBytes = kMaxFaceBytes);

}  // namespace vantor::widgets
