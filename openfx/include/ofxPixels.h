#ifndef VELMORA_OFX_PIXELS_H
#define VELMORA_OFX_PIXELS_H

/* Pixel records for the standard bit depths. */

#include "ofxCore.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct OfxRGBAColourB {
    unsigned char r;
    unsigned char g;
    unsigned char b;
    unsigned char a;
} OfxRGBAColourB;

typedef struct OfxRGBAColourS {
    unsigned short r;
    unsigned short g;
    unsigned short b;
    unsigned short a;
} OfxRGBAColourS;

typedef struct OfxRGBAColourF {
    float r;
    float g;
    float b;
    float a;
} OfxRGBAColourF;

typedef struct OfxRGBAColourD {
    double r;
    double g;
    double b;
    double a;
} OfxRGBAColourD;

typedef struct OfxRGBColourB {
    unsigned char r;
    unsigned char g;
    unsigned char b;
} OfxRGBColourB;

typedef struct OfxRGBColourS {
    unsigned short r;
    unsigned short g;
    unsigned short b;
} OfxRGBColourS;

typedef struct OfxRGBColourF {
    float r;
    float g;
    float b;
} OfxRGBColourF;

typedef struct OfxRGBColourD {
    double r;
    double g;
    double b;
} OfxRGBColourD;

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OFX_PIXELS_H */
