#include "widgets/LayoutMath.h"

namespace vantor::widgets {

int ScaleEdge(int value, double scale, float* error) {
    const double product = value * scale;
    int result = static_cast<int>(product);
    if (error == nullptr) return result;
    *error += static_cast<float>(product - result);
    if (*error > 1.0f || *error < -1.0f) {
        const int whole = static_cast<int>(*error);
        result += whole;
        *error -= static_cast<float>(whole);
    }
    return result;
}

EdgeRect ScaleControlRect(const EdgeRect& r, double sx, double sy, ControlKind kind, int textHeight,
                          EdgeErrors* errors) {
    const int height = r.bottom - r.top;
    EdgeRect out;
    out.left = ScaleEdge(r.left, sx, errors != nullptr ? &errors->left : nullptr);
    out.right = ScaleEdge(r.right, sx, errors != nullptr ? &errors->right : nullptr);
    out.top = ScaleEdge(r.top, sy, errors != nullptr ? &errors->top : nullptr);
    const bool textControl = static_cast<int>(kind) <= static_cast<int>(ControlKind::kButton);
    if (!textControl || height > kMaxFixedHeight) {
        out.bottom = ScaleEdge(r.bottom, sy, errors != nullptr ? &errors->bottom : nullptr);
    } else if (height < textHeight) {
        out.bottom = out.top + textHeight + 2;
    } else {
        out.bottom = out.top + height;
    }
    return out;
}

std::string CutFaceName(std::string_view face, size_t maxBytes) {
    if (face.size() <= maxBytes) return std::string(face);
    size_t cut = maxBytes;
    // Back off continuation bytes so the last character stays whole.
    while (cut > 0 && (static_cast<unsigned char>(face[cut]) & 0xC0) == 0x80) --cut;
    return std::string(face.substr(0, cut));
}

}  // namespace vantor::widgets
