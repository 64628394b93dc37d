#include "overlays/OverlayBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "params/NumberText.h"

namespace OFX {

namespace {

std::string trimBlanks(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The first comparison operator of a condition, searched for in a fixed order: the two-character
// operators first, then > and < where no = follows. Returns npos when there is none.
size_t findOperator(const std::string& condition, std::string& op) {
    for (const char* candidate : {"!=", "==", ">=", "<="}) {
        const size_t at = condition.find(candidate);
        if (at != std::string::npos) {
            op = candidate;
            return at;
        }
    }
    for (const char* candidate : {">", "<"}) {
        for (size_t at = condition.find(candidate); at != std::string::npos;
             at = condition.find(candidate, at + 1)) {
            if (at + 1 < condition.size() && condition[at + 1] == '=') continue;
            op = candidate;
            return at;
        }
    }
    return std::string::npos;
}

bool compare(double value, const std::string& op, double number) {
    if (op == "!=") return value != number;
    if (op == "==") return value == number;
    if (op == ">=") return value >= number;
    if (op == "<=") return value <= number;
    if (op == ">") return value > number;
    return value < number;
}

}  // namespace

bool OverlayBase::isVisible(double time) const {
    if (visibleWhen_.empty()) return true;
    std::string op;
    const size_t at = findOperator(visibleWhen_, op);
    if (at == std::string::npos) {
        bool value = true;
        if (!host_ || !host_->getBoolean(trimBlanks(visibleWhen_), time, value)) return true;
        return value;
    }
    const std::string left = trimBlanks(visibleWhen_.substr(0, at));
    const std::string right = trimBlanks(visibleWhen_.substr(at + op.size()));
    if (left.empty() || right.empty()) return true;
    double number = 0.0;
    if (numbertext::parseLeadingDouble(right, number) != numbertext::ParseStatus::Ok) return true;
    double value = 0.0;
    if (!host_ || !host_->getScalar(left, time, value)) return true;
    return compare(value, op, number);
}

bool OverlayBase::within(OverlayPoint a, OverlayPoint b, double toleranceX, double toleranceY) {
    return std::abs(a.x - b.x) <= toleranceX && std::abs(a.y - b.y) <= toleranceY;
}

void OverlayBase::refreshImageSize(double time) {
    double width = 0.0, height = 0.0;
    // A size that is not positive would make positions meaningless; it is treated as unknown.
    if (host_ && host_->getImageSize(time, width, height) && width > 0.0 && height > 0.0) {
        width_ = width;
        height_ = height;
    }
}

bool OverlayBase::readPosition(const std::string& param, double time, OverlayPoint& normalized) const {
    normalized = OverlayPoint{0.5, 0.5};
    double x = 0.0, y = 0.0;
    if (!host_ || !host_->getDouble2D(param, time, x, y)) return false;
    switch (coordinates_) {
        case OverlayCoordinates::Uv:
            normalized = OverlayPoint{x, y};
            break;
        case OverlayCoordinates::CenteredAspect:
            if (width_ > 0.0 && height_ > 0.0) {
                normalized = OverlayPoint{x / (width_ / height_) + 0.5, y + 0.5};
                break;
            }
            normalized = OverlayPoint{x + 0.5, y + 0.5};
            break;
        case OverlayCoordinates::Centered:
            normalized = OverlayPoint{x + 0.5, y + 0.5};
            break;
    }
    return true;
}

OverlayPoint OverlayBase::readPositionOrCentre(const std::string& param, double time) const {
    OverlayPoint normalized;
    readPosition(param, time, normalized);
    return normalized;
}

bool OverlayBase::writePosition(const std::string& param, OverlayPoint normalized) const {
    if (!host_) return false;
    switch (coordinates_) {
        case OverlayCoordinates::Uv:
            return host_->setDouble2D(param, normalized.x, normalized.y);
        case OverlayCoordinates::CenteredAspect:
            if (width_ > 0.0 && height_ > 0.0)
                return host_->setDouble2D(param, (width_ / height_) * (normalized.x - 0.5),
                                          normalized.y - 0.5);
            return host_->setDouble2D(param, normalized.x - 0.5, normalized.y - 0.5);
        case OverlayCoordinates::Centered:
            break;
    }
    return host_->setDouble2D(param, normalized.x - 0.5, normalized.y - 0.5);
}

OverlayPoint OverlayBase::toImage(OverlayPoint normalized) const {
    return OverlayPoint{normalized.x * width_, normalized.y * height_};
}

OverlayPoint OverlayBase::toNormalized(OverlayPoint image) const {
    return OverlayPoint{width_ > 0.0 ? image.x / width_ : 0.5, height_ > 0.0 ? image.y / height_ : 0.5};
}

void OverlayBase::applyColour(OverlayDrawSurface& surface) const {
    float r = colour_.set ? colour_.red : 1.0f;
    float g = colour_.set ? colour_.green : 1.0f;
    float b = colour_.set ? colour_.blue : 1.0f;
    if (state_ == kHover || state_ == kDragging) {
        if ((r + g + b) / 3.0f > 0.7f) {
            r = std::max(0.0f, r - 0.3f);
            g = std::max(0.0f, g - 0.3f);
            b = std::max(0.0f, b - 0.3f);
        } else {
            r = std::min(1.0f, r + 0.2f);
            g = std::min(1.0f, g + 0.4f);
            b = std::min(1.0f, b + 0.2f);
        }
    }
    surface.setColour(r, g, b, 1.0f);
}

void OverlayBase::drawCircle(OverlayDrawSurface& surface, OverlayPoint centre, double radius,
                             const OverlayDrawArgs& args) {
    const double rx = radius * args.pixelScale.x, ry = radius * args.pixelScale.y;
    surface.drawEllipse(OverlayPoint{centre.x - rx, centre.y - ry},
                        OverlayPoint{centre.x + rx, centre.y + ry});
}

void OverlayBase::drawLabel(OverlayDrawSurface& surface, OverlayPoint at) const {
    if (!label_.empty()) surface.drawText(label_, at);
}

void OverlayBase::beginDrag(const std::string& undoLabel) {
    state_ = kDragging;
    if (host_) host_->beginUndoBlock(undoLabel);
}

void OverlayBase::endDrag() {
    if (state_ != kDragging) return;
    if (host_) host_->endUndoBlock();
    state_ = kIdle;
}

bool OverlayBase::penUp(const OverlayPenArgs&) {
    if (!isDragging()) return false;
    endDrag();
    return true;
}

void OverlayBase::cancelDrag() {
    endDrag();
}

bool OverlayBase::continueDrag(double time) {
    if (state_ != kDragging) return false;
    if (isVisible(time)) return true;
    cancelDrag();
    return false;
}

}  // namespace OFX
