// The interact suite and the draw suite, which records every call.
#include "Host.h"
#include "Overlay.h"
#include "Suites.h"

namespace vhost {

namespace {

OfxStatus interactSwapBuffers(OfxInteractHandle handle) {
    return InteractObject::from(handle) ? kOfxStatOK : kOfxStatErrBadHandle;
}

OfxStatus interactRedraw(OfxInteractHandle handle) {
    InteractObject* i = InteractObject::from(handle);
    if (i == nullptr) return kOfxStatErrBadHandle;
    i->host->records().addRedraw();
    return kOfxStatOK;
}

OfxStatus interactGetPropertySet(OfxInteractHandle handle, OfxPropertySetHandle* props) {
    InteractObject* i = InteractObject::from(handle);
    if (i == nullptr || props == nullptr) return kOfxStatErrBadHandle;
    *props = i->props.handle();
    return kOfxStatOK;
}

const OfxInteractSuiteV1 kInteractSuite = {interactSwapBuffers, interactRedraw, interactGetPropertySet};

Host* drawHost(OfxDrawContextHandle context) {
    DrawContext* c = fromHandle<DrawContext>(context);
    return c ? c->host : nullptr;
}

OfxStatus getColour(OfxDrawContextHandle context, OfxStandardColour colour, OfxRGBAColourF* out) {
    Host* host = drawHost(context);
    if (host == nullptr || out == nullptr) return kOfxStatErrBadHandle;
    static const OfxRGBAColourF kColours[] = {
        {0.0f, 0.0f, 0.0f, 1.0f}, {1.0f, 1.0f, 0.0f, 1.0f}, {1.0f, 0.5f, 0.0f, 1.0f},
        {0.8f, 0.8f, 0.8f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 0.5f},
        {1.0f, 1.0f, 1.0f, 1.0f},
    };
    const int index = static_cast<int>(colour);
    if (index < 0 || index >= 7) return kOfxStatErrValue;
    *out = kColours[index];
    host->records().addDraw(DrawRecord{"getColour", index, {out->r, out->g, out->b, out->a}, ""});
    return kOfxStatOK;
}

OfxStatus setColour(OfxDrawContextHandle context, const OfxRGBAColourF* colour) {
    Host* host = drawHost(context);
    if (host == nullptr || colour == nullptr) return kOfxStatErrBadHandle;
    host->records().addDraw(DrawRecord{"setColour", 0, {colour->r, colour->g, colour->b, colour->a}, ""});
    return kOfxStatOK;
}

OfxStatus setLineWidth(OfxDrawContextHandle context, float width) {
    Host* host = drawHost(context);
    if (host == nullptr) return kOfxStatErrBadHandle;
    host->records().addDraw(DrawRecord{"setLineWidth", 0, {width}, ""});
    return kOfxStatOK;
}

OfxStatus setLineStipple(OfxDrawContextHandle context, OfxDrawLineStipplePattern pattern) {
    Host* host = drawHost(context);
    if (host == nullptr) return kOfxStatErrBadHandle;
    host->records().addDraw(DrawRecord{"setLineStipple", static_cast<int>(pattern), {}, ""});
    return kOfxStatOK;
}

OfxStatus draw(OfxDrawContextHandle context, OfxDrawPrimitive primitive, const OfxPointD* points, int count) {
    Host* host = drawHost(context);
    if (host == nullptr) return kOfxStatErrBadHandle;
    if (count < 0 || (count > 0 && points == nullptr)) return kOfxStatErrValue;
    DrawRecord d{"draw", static_cast<int>(primitive), {}, ""};
    for (int i = 0; i < count; ++i) {
        d.values.push_back(points[i].x);
        d.values.push_back(points[i].y);
    }
    host->records().addDraw(std::move(d));
    return kOfxStatOK;
}

OfxStatus drawText(OfxDrawContextHandle context, const char* text, const OfxPointD* position, int alignment) {
    Host* host = drawHost(context);
    if (host == nullptr || text == nullptr || position == nullptr) return kOfxStatErrBadHandle;
    host->records().addDraw(DrawRecord{"drawText", alignment, {position->x, position->y}, text});
    return kOfxStatOK;
}

const OfxDrawSuiteV1 kDrawSuite = {getColour, setColour, setLineWidth, setLineStipple, draw, drawText};

}  // namespace

const OfxInteractSuiteV1* interactSuite() {
    return &kInteractSuite;
}
const OfxDrawSuiteV1* drawSuite() {
    return &kDrawSuite;
}

}  // namespace vhost
