#ifndef VELMORA_OFX_DRAW_SUITE_H
#define VELMORA_OFX_DRAW_SUITE_H

/* The draw suite: host-independent overlay drawing. */

#include "ofxCore.h"
#include "ofxPixels.h"

#ifdef __cplusplus
extern "C" {
#endif

#define kOfxDrawSuite "OfxDrawSuite"
#define kOfxInteractPropDrawContext "OfxInteractPropDrawContext"

typedef struct OfxDrawContext* OfxDrawContextHandle;

typedef enum OfxStandardColour {
    kOfxStandardColourOverlayBackground,
    kOfxStandardColourOverlayActive,
    kOfxStandardColourOverlaySelected,
    kOfxStandardColourOverlayDeselected,
    kOfxStandardColourOverlayMarqueeFG,
    kOfxStandardColourOverlayMarqueeBG,
    kOfxStandardColourOverlayText
} OfxStandardColour;

typedef enum OfxDrawLineStipplePattern {
    kOfxDrawLineStipplePatternSolid,
    kOfxDrawLineStipplePatternDot,
    kOfxDrawLineStipplePatternDash,
    kOfxDrawLineStipplePatternAltDash,
    kOfxDrawLineStipplePatternDotDash
} OfxDrawLineStipplePattern;

typedef enum OfxDrawPrimitive {
    kOfxDrawPrimitiveLines,
    kOfxDrawPrimitiveLineStrip,
    kOfxDrawPrimitiveLineLoop,
    kOfxDrawPrimitiveRectangle,
    kOfxDrawPrimitivePolygon,
    kOfxDrawPrimitiveEllipse
} OfxDrawPrimitive;

typedef enum OfxDrawTextAlignment {
    kOfxDrawTextAlignmentLeft = 0x0001,
    kOfxDrawTextAlignmentRight = 0x0002,
    kOfxDrawTextAlignmentTop = 0x0004,
    kOfxDrawTextAlignmentBottom = 0x0008,
    kOfxDrawTextAlignmentBaseline = 0x0010,
    kOfxDrawTextAlignmentCenterH = (kOfxDrawTextAlignmentLeft | kOfxDrawTextAlignmentRight),
    kOfxDrawTextAlignmentCenterV = (kOfxDrawTextAlignmentTop | kOfxDrawTextAlignmentBaseline)
} OfxDrawTextAlignment;

typedef struct OfxDrawSuiteV1 {
    OfxStatus (*getColour)(OfxDrawContextHandle, OfxStandardColour, OfxRGBAColourF*);
    OfxStatus (*setColour)(OfxDrawContextHandle, const OfxRGBAColourF*);
    OfxStatus (*setLineWidth)(OfxDrawContextHandle, float);
    OfxStatus (*setLineStipple)(OfxDrawContextHandle, OfxDrawLineStipplePattern);
    OfxStatus (*draw)(OfxDrawContextHandle, OfxDrawPrimitive, const OfxPointD*, int);
    OfxStatus (*drawText)(OfxDrawContextHandle, const char*, const OfxPointD*, int);
} OfxDrawSuiteV1;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_DRAW_SUITE_H */
