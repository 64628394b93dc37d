#pragma once

#include <string>
#include <vector>

// Plain records of a parsed effect definition. Every list keeps document order.

struct InputDefinition {
    std::string name;
    std::string label;
    bool optional = false;
    std::string border_mode = "clamp";  // "clamp", "repeat", "mirror", "black"; other words act as clamp
    std::string noInputMode = "error";  // "error", "black", "white", "transparent"; other words act as white
    std::string route;
    int is_mask = -1;  // -1 unset, 0 false, 1 true

    // Codes the render engine uses.
    int noInputCode() const;     // error 0, black 1, white 2, transparent 3, anything else 2
    int borderModeCode() const;  // clamp 0, repeat 1, mirror 2, black 3, anything else 0
};

struct ChoiceOption {
    std::string value;
    std::string label;
};

struct ParameterComponent {
    std::string name;
    double defaultValue = 0.0;
    double minValue = 0.0;
    double maxValue = 1.0;
    double inc = 0.01;
};

struct ParameterDefinition {
    std::string name;
    std::string type;
    std::string label;
    std::string hint;
    double defaultValue = 0.0;
    double minValue = 0.0;
    double maxValue = 1.0;
    double displayMin = 0.0;
    double displayMax = 1.0;
    double inc = 0.1;
    std::string default_shape = "linear";        // curve
    int curve_background = 0;                    // curve
    std::vector<ChoiceOption> options;           // choice
    std::vector<ParameterComponent> components;  // color, vec2, vec3, vec4
    std::string defaultText;                     // string, filepath
    bool mustexist = false;                      // filepath
    bool defaultBool = false;                    // bool
    std::string res_dependent = "none";
    bool resolution_scaled = false;
};

struct ColumnDefinition {
    std::string name;
    std::string tooltip;
    std::vector<std::string> parameters;
};

struct GroupDefinition {
    std::string name;
    std::string tooltip;
    bool open = true;
    std::vector<ColumnDefinition> columns;
    std::vector<std::string> parameters;
};

struct PageItem {
    enum Kind : int { Group = 0, TopLevel = 1 };
    int kind = Group;
    std::string groupName;  // empty for a top-level item
};

struct PageDefinition {
    std::string name;
    std::vector<PageItem> items;
};

struct KernelDefinition {
    std::string platform;  // "cuda", "metal" or "opencl"
    std::string file;
    int executions = 1;
    std::string dispatch = "image";  // "image" or "count"
    std::string buffer;              // device buffer sizing a "count" dispatch
};

struct ProcessDefinition {
    std::string name = "unnamed_process";
    std::vector<KernelDefinition> kernels;
    std::string executions;      // empty means 1; a count or "param:<name>"
    std::string initialization;  // empty means none
};

struct IdentityCondition {
    std::string parameterName;
    std::string op;  // equal, notEqual, lessThan, lessEqual, greaterThan, greaterEqual
    double value = 0.0;
};

struct ResourceTextureDefinition {
    std::string name;
    std::string file;
    int channels = 4;
    std::string sampler = "linear";  // "linear" or "nearest"
    std::string wrap = "mirror";     // "clamp", "repeat" or "mirror"
};

struct AccumulationBufferDefinition {
    std::string name;
    std::string strobe_param;
    std::string source_process;
};

struct DeviceBufferDefinition {
    std::string name;
    std::string type;   // float, float2, float3, float4, int, uint32, uint64
    std::string count;  // resolved at render time
};

struct OverlayColor {
    float red = 1.0f;
    float green = 1.0f;
    float blue = 1.0f;
    bool set = false;
};

struct OverlayDefinition {
    enum Type : int {
        Point = 0,
        Radius = 1,
        Scale2D = 2,
        VSlider = 3,
        Vector = 4,
        Ellipse = 5,
        Line = 6,
        Qualifier = 7
    };
    int type = Point;
    std::string param;
    std::string style = "crosshair";
    std::string center;
    float fixed_x = 0.5f;
    std::string visible_when;
    OverlayColor color;
    std::string label;
    std::string direction;
    std::string magnitude;
    float fixed_magnitude = 0.1f;
    std::string angle;
    std::vector<OverlayDefinition> subOverlays;
};

enum class OverlayCoordinates : int { Uv = 0, Centered = 1, CenteredAspect = 2 };
