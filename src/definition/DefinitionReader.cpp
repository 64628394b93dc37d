#include "definition/DefinitionReader.h"

#include <cctype>
#include <cmath>
#include <set>

#include "log/PluginLog.h"
#include "params/NumberText.h"

namespace {

std::string textOf(const pugi::xml_node& node) {
    return node.child_value();
}

std::string quotedForMessage(const std::string& text) {
    constexpr std::size_t kLimit = 80;
    if (text.size() <= kLimit) return "'" + text + "'";
    return "'" + text.substr(0, kLimit) + "...'";
}

bool isVectorType(const std::string& type) {
    return type == "color" || type == "vec2" || type == "vec3" || type == "vec4";
}

// Component names of a vector parameter declared with comma lists.
std::vector<std::string> listComponentNames(const std::string& type) {
    if (type == "color") return {"r", "g", "b"};
    if (type == "vec2") return {"x", "y"};
    if (type == "vec3") return {"x", "y", "z"};
    if (type == "vec4") return {"r", "g", "b", "a"};
    return {};
}

// An attribute's leading number, whatever the process locale; 0 when it has none (as strtod
// reads it), infinity when it is out of range.
double attributeNumber(const pugi::xml_attribute& attr) {
    double value = 0.0;
    switch (numbertext::parseLeadingDouble(attr.value(), value)) {
        case numbertext::ParseStatus::Ok:
            return value;
        case numbertext::ParseStatus::OutOfRange:
            return INFINITY;
        case numbertext::ParseStatus::NoNumber:
            break;
    }
    return 0.0;
}

// Whether the number at the start of `text` (after blanks and a sign) is spelled "nan".
bool spellsNan(const std::string& text) {
    std::size_t i = text.find_first_not_of(" \t\n\r\f\v");
    if (i != std::string::npos && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == std::string::npos || text.size() < i + 3) return false;
    std::string word = text.substr(i, 3);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word == "nan";
}

}  // namespace

double DefinitionReader::readReal(const pugi::xml_node& node, const char* attribute, double fallback) {
    const pugi::xml_attribute attr = node.attribute(attribute);
    if (!attr) return fallback;
    const double value = attributeNumber(attr);
    if (!std::isfinite(value)) {
        throw DefinitionError(std::string("Attribute '") + attribute + "' of <" + node.name() +
                              "> is not a finite number: " + quotedForMessage(attr.value()));
    }
    return value;
}

float DefinitionReader::readFloat(const pugi::xml_node& node, const char* attribute, float fallback) {
    const pugi::xml_attribute attr = node.attribute(attribute);
    if (!attr) return fallback;
    const float value = static_cast<float>(attributeNumber(attr));
    if (!std::isfinite(value)) {
        throw DefinitionError(std::string("Attribute '") + attribute + "' of <" + node.name() +
                              "> is not a finite number: " + quotedForMessage(attr.value()));
    }
    return value;
}

double DefinitionReader::stringToDouble(const std::string& piece) {
    // Same contract as std::stod (leading blanks skipped, trailing text ignored) in any process
    // locale, with messages that do not depend on the standard library's wording.
    double value = 0.0;
    switch (numbertext::parseLeadingDouble(piece, value)) {
        case numbertext::ParseStatus::Ok:
            return value;
        case numbertext::ParseStatus::OutOfRange:
            if (spellsNan(piece)) break;
            throw DefinitionError("stod argument out of range");
        case numbertext::ParseStatus::NoNumber:
            break;
    }
    throw DefinitionError("invalid stod argument");
}

std::vector<double> DefinitionReader::readRealList(const pugi::xml_node& node, const char* attribute) {
    std::vector<double> values;
    const std::string text = node.attribute(attribute).as_string();
    if (text.empty()) return values;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        values.push_back(stringToDouble(text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return values;
}

void DefinitionReader::readEffect(const pugi::xml_node& effect) {
    def_.name_ = effect.attribute("name").as_string();
    def_.shippedName_ = effect.attribute("shipped_name").as_string();
    def_.category_ = effect.attribute("category").as_string();
    def_.debugLevel_ = effect.attribute("debug_level").as_string("none");
    if (def_.name_.empty()) throw DefinitionError("Effect must have a name attribute");
    if (def_.category_.empty()) throw DefinitionError("Effect must have a category attribute");
    def_.version_ = effect.attribute("version").as_string();
    def_.releaseDate_ = effect.attribute("release_date").as_string();
    def_.frameVarying_ = effect.attribute("frame_varying").as_bool(true);
    def_.description_ = textOf(effect.child("description"));

    if (const pugi::xml_node context = effect.child("context")) {
        const std::string text = textOf(context);
        if (text == "filter" || text == "transition") {
            def_.context_ = text;
        } else {
            VLOG_INFO("Invalid context '%s', defaulting to 'filter'", text.c_str());
            def_.context_ = "filter";
        }
        VLOG_INFO("Effect context: %s", def_.context_.c_str());
    }

    if (const pugi::xml_node node = effect.child("inputs")) readInputs(node);
    if (const pugi::xml_node node = effect.child("resources")) readResources(node);
    if (const pugi::xml_node node = effect.child("parameters")) readParameters(node);
    if (const pugi::xml_node node = effect.child("ui")) readUi(node);
    if (const pugi::xml_node node = effect.child("pages")) readPages(node);
    if (const pugi::xml_node node = effect.child("accumulation_buffers")) readAccumulationBuffers(node);
    if (const pugi::xml_node node = effect.child("device_buffers")) readDeviceBuffers(node);
    if (const pugi::xml_node node = effect.child("audio_reactive")) readAudioReactive(node);
    const pugi::xml_node pipeline = effect.child("pipeline");
    if (!pipeline) throw DefinitionError("Effect must have a <pipeline> section with <process> children");
    readPipeline(pipeline);
    if (const pugi::xml_node node = effect.child("identity_conditions")) readIdentityConditions(node);
    if (const pugi::xml_node node = effect.child("overlays")) readOverlays(node);
    checkExecutionCounts();
}

void DefinitionReader::readInputs(const pugi::xml_node& inputs) {
    std::set<std::string> names;
    for (const pugi::xml_node& source : inputs.children("source")) {
        InputDefinition input;
        input.name = source.attribute("name").as_string();
        input.label = source.attribute("label").as_string();
        if (input.label.empty()) input.label = input.name;
        input.border_mode = source.attribute("border_mode").as_string("clamp");

        VLOG_INFO("Parsing noinput for input: %s", input.name.c_str());
        const pugi::xml_attribute noinput = source.attribute("noinput");
        const pugi::xml_attribute optional = source.attribute("optional");
        if (noinput) {
            input.noInputMode = noinput.value();
            VLOG_INFO("Found noinput attribute: '%s'", input.noInputMode.c_str());
        } else if (optional && optional.as_bool()) {
            input.noInputMode = "white";
            VLOG_INFO("No noinput attribute, but optional=true, using 'white'");
        } else {
            input.noInputMode = "error";
            VLOG_INFO("No noinput attribute and not optional, using 'error'");
        }
        if (optional) {
            input.optional = optional.as_bool();
            VLOG_INFO("Input '%s': optional explicitly set to %d", input.name.c_str(),
                      input.optional ? 1 : 0);
        } else {
            input.optional = input.noInputMode != "error";
            VLOG_INFO("Input '%s': optional inferred as %d from noinput='%s'", input.name.c_str(),
                      input.optional ? 1 : 0, input.noInputMode.c_str());
        }
        if (input.name.empty()) throw DefinitionError("Input source must have a name attribute");
        // Two clips of one name cannot both exist on the host side.
        if (!names.insert(input.name).second) throw DefinitionError("Duplicate input name: " + input.name);

        input.route = source.attribute("route").as_string();
        if (const pugi::xml_attribute isMask = source.attribute("is_mask"))
            input.is_mask = isMask.as_bool() ? 1 : 0;
        VLOG_INFO("Input parsed - name: %s, noInputMode: %s", input.name.c_str(), input.noInputMode.c_str());
        def_.inputs_.push_back(std::move(input));
    }
}

void DefinitionReader::readParameters(const pugi::xml_node& parameters) {
    for (const pugi::xml_node& node : parameters.children("parameter")) {
        ParameterDefinition param = readParameter(node);
        def_.parameterIndex_[param.name] = def_.parameters_.size();
        def_.parameters_.push_back(std::move(param));
    }
}

ParameterDefinition DefinitionReader::readParameter(const pugi::xml_node& node) const {
    ParameterDefinition param;
    param.name = node.attribute("name").as_string();
    param.type = node.attribute("type").as_string();
    param.label = node.attribute("label").as_string();
    param.hint = node.attribute("hint").as_string();
    if (param.name.empty()) throw DefinitionError("Parameter must have a name attribute");
    if (param.type.empty()) throw DefinitionError("Parameter must have a type attribute");
    if (param.label.empty()) param.label = param.name;

    param.res_dependent = node.attribute("res_dependent").as_string("none");
    param.resolution_scaled = node.attribute("resolution_scaled").as_bool(false);
    if (param.resolution_scaled && param.type != "float" && param.type != "double" && param.type != "vec2") {
        throw DefinitionError(
            "resolution_scaled=\"true\" is only supported on float/double/vec2 parameters (parameter '" +
            param.name + "' has type '" + param.type + "')");
    }

    const std::string& type = param.type;
    if (type == "float" || type == "double" || type == "int") {
        param.defaultValue = readReal(node, "default", 0.0);
        param.minValue = readReal(node, "min", 0.0);
        param.maxValue = readReal(node, "max", 1.0);
        param.displayMin = readReal(node, "displayMin", param.minValue);
        param.displayMax = readReal(node, "displayMax", param.maxValue);
        param.inc = readReal(node, "inc", 0.1);
    } else if (type == "bool") {
        param.defaultBool = node.attribute("default").as_bool(false);
    } else if (type == "string") {
        param.defaultText = node.attribute("default").as_string();
    } else if (type == "filepath") {
        param.defaultText = node.attribute("default").as_string();
        param.mustexist = node.attribute("mustexist").as_bool(false);
    } else if (type == "curve") {
        param.default_shape = node.attribute("default_shape").as_string("linear");
        param.curve_background = node.attribute("curve_background").as_int(0);
    } else if (type == "choice") {
        param.defaultValue = readReal(node, "default", 0.0);
        for (const pugi::xml_node& optionNode : node.children("option")) {
            ChoiceOption option;
            option.value = optionNode.attribute("value").as_string();
            if (option.value.empty()) throw DefinitionError("Option must have a value attribute");
            option.label = optionNode.attribute("label").as_string();
            if (option.label.empty()) option.label = option.value;
            param.options.push_back(std::move(option));
        }
    } else if (isVectorType(type)) {
        readVectorComponents(node, param);
    }
    return param;
}

void DefinitionReader::readVectorComponents(const pugi::xml_node& node, ParameterDefinition& param) const {
    for (const pugi::xml_node& componentNode : node.children("component")) {
        ParameterComponent component;
        component.name = componentNode.attribute("name").as_string();
        if (component.name.empty()) throw DefinitionError("Component must have a name attribute");
        component.defaultValue = readReal(componentNode, "default", 0.0);
        component.minValue = readReal(componentNode, "min", 0.0);
        component.maxValue = readReal(componentNode, "max", 1.0);
        component.inc = readReal(componentNode, "inc", 0.01);
        param.components.push_back(std::move(component));
    }
    if (!param.components.empty() || !node.attribute("default")) return;

    const std::vector<std::string> names = listComponentNames(param.type);
    const std::vector<double> defaults = readRealList(node, "default");
    const std::vector<double> mins = readRealList(node, "min");
    const std::vector<double> maxs = readRealList(node, "max");
    const double inc = readReal(node, "inc", 0.01);
    for (std::size_t i = 0; i < names.size() && i < defaults.size(); ++i) {
        ParameterComponent component;
        component.name = names[i];
        component.defaultValue = defaults[i];
        component.minValue = i < mins.size() ? mins[i] : 0.0;
        component.maxValue = i < maxs.size() ? maxs[i] : 1.0;
        component.inc = inc;
        param.components.push_back(std::move(component));
    }
}

std::string DefinitionReader::checkedParameterReference(const pugi::xml_node& node) const {
    const std::string name = textOf(node);
    if (name.empty()) throw DefinitionError("Parameter reference cannot be empty");
    if (!def_.hasParameter(name)) throw DefinitionError("Referenced parameter does not exist: " + name);
    return name;
}

void DefinitionReader::readUi(const pugi::xml_node& ui) {
    VLOG_INFO("XMLEffectDefinition::parseUI called");
    for (const pugi::xml_node& node : ui.children("parameter")) {
        const std::string name = textOf(node);
        if (name.empty()) throw DefinitionError("Top-level parameter reference in <ui> cannot be empty");
        if (!def_.hasParameter(name))
            throw DefinitionError("Referenced top-level parameter does not exist: " + name);
        def_.topLevelParameters_.push_back(name);
    }
    if (!def_.topLevelParameters_.empty()) {
        VLOG_INFO("Parsed %zu top-level parameters in <ui>", def_.topLevelParameters_.size());
    }
    for (const pugi::xml_node& node : ui.children("group")) readGroup(node);
    VLOG_INFO("XMLEffectDefinition::parseUI completed, parsed %d groups",
              static_cast<int>(def_.groups_.size()));
}

void DefinitionReader::readGroup(const pugi::xml_node& node) {
    GroupDefinition group;
    group.name = node.attribute("name").as_string();
    if (group.name.empty()) throw DefinitionError("group must have a name attribute");
    group.tooltip = node.attribute("tooltip").as_string();
    group.open = node.attribute("open").as_bool(true);
    if (!node.child("column") && !node.child("parameter")) {
        throw DefinitionError("group must contain either columns or direct parameter references");
    }
    for (const pugi::xml_node& columnNode : node.children("column")) {
        ColumnDefinition column;
        column.name = columnNode.attribute("name").as_string();
        if (column.name.empty()) throw DefinitionError("Column must have a name attribute");
        column.tooltip = columnNode.attribute("tooltip").as_string();
        for (const pugi::xml_node& ref : columnNode.children("parameter")) {
            column.parameters.push_back(checkedParameterReference(ref));
        }
        group.columns.push_back(std::move(column));
    }
    for (const pugi::xml_node& ref : node.children("parameter")) {
        group.parameters.push_back(checkedParameterReference(ref));
    }
    def_.groups_.push_back(std::move(group));
}

void DefinitionReader::readPages(const pugi::xml_node& pages) {
    VLOG_INFO("XMLEffectDefinition::parsePages called");
    std::set<std::string> groupNames;
    for (const GroupDefinition& group : def_.groups_) groupNames.insert(group.name);

    for (const pugi::xml_node& pageNode : pages.children("page")) {
        PageDefinition page;
        page.name = pageNode.attribute("name").as_string();
        if (page.name.empty()) throw DefinitionError("<page> must have a name attribute");
        for (const pugi::xml_node& child : pageNode.children()) {
            if (child.type() != pugi::node_element) continue;
            const std::string element = child.name();
            PageItem item;
            if (element == "group") {
                item.kind = PageItem::Group;
                item.groupName = textOf(child);
                if (item.groupName.empty()) {
                    throw DefinitionError("<group> reference in <page> '" + page.name + "' cannot be empty");
                }
                if (!groupNames.count(item.groupName)) {
                    std::string available;
                    for (const std::string& name : groupNames) {
                        if (!available.empty()) available += ", ";
                        available += "'" + name + "'";
                    }
                    throw DefinitionError("Unknown group '" + item.groupName + "' referenced in <page> '" +
                                          page.name + "'. Available groups: " + available);
                }
            } else if (element == "top-level") {
                item.kind = PageItem::TopLevel;
            } else {
                throw DefinitionError("Unknown element <" + element + "> in <page> '" + page.name +
                                      "'. Valid elements: <group>, <top-level/>");
            }
            page.items.push_back(std::move(item));
        }
        VLOG_INFO("  Page '%s': %zu items", page.name.c_str(), page.items.size());
        def_.pages_.push_back(std::move(page));
    }
    VLOG_INFO("XMLEffectDefinition::parsePages completed, parsed %zu pages", def_.pages_.size());
}

void DefinitionReader::readPipeline(const pugi::xml_node& pipeline) {
    VLOG_INFO("Parsing <pipeline> section (refactored structure)");
    def_.pipelineExecutions_ = pipeline.attribute("executions").as_string("1");
    if (def_.pipelineExecutions_ != "1") {
        VLOG_INFO("Effect executions (from <pipeline>): %s", def_.pipelineExecutions_.c_str());
    }
    for (const pugi::xml_node& processNode : pipeline.children("process")) {
        ProcessDefinition process;
        process.name = processNode.attribute("name").as_string("unnamed_process");
        process.executions = processNode.attribute("executions").as_string();
        process.initialization = processNode.attribute("initialization").as_string();
        for (const pugi::xml_node& kernelNode : processNode.children()) {
            if (kernelNode.type() != pugi::node_element) continue;
            const std::string platform = kernelNode.name();
            if (platform != "cuda" && platform != "metal" && platform != "opencl") continue;
            KernelDefinition kernel;
            kernel.platform = platform;
            kernel.file = kernelNode.attribute("file").as_string();
            kernel.executions = kernelNode.attribute("executions").as_int(1);
            kernel.dispatch = kernelNode.attribute("dispatch").as_string("image");
            kernel.buffer = kernelNode.attribute("buffer").as_string();
            if (kernel.dispatch == "count" && kernel.buffer.empty()) {
                throw DefinitionError("Kernel '" + kernel.file +
                                      "' has dispatch=\"count\" but no buffer attribute");
            }
            if (kernel.dispatch == "image") {
                VLOG_DEBUG("    Kernel: %s (platform=%s, executions=%d)", kernel.file.c_str(),
                           kernel.platform.c_str(), kernel.executions);
            } else {
                VLOG_DEBUG("    Kernel: %s (platform=%s, executions=%d, dispatch=%s, buffer=%s)",
                           kernel.file.c_str(), kernel.platform.c_str(), kernel.executions,
                           kernel.dispatch.c_str(), kernel.buffer.c_str());
            }
            process.kernels.push_back(std::move(kernel));
        }
        VLOG_INFO("  Process '%s': %zu kernels, executions=%s, init=%s", process.name.c_str(),
                  process.kernels.size(), process.executions.empty() ? "1" : process.executions.c_str(),
                  process.initialization.empty() ? "none" : process.initialization.c_str());
        def_.processes_.push_back(std::move(process));
    }
    VLOG_INFO("Parsed %zu processes from <pipeline> section", def_.processes_.size());
}

void DefinitionReader::readIdentityConditions(const pugi::xml_node& conditions) {
    for (const pugi::xml_node& conditionNode : conditions.children("condition")) {
        const pugi::xml_node paramNode = conditionNode.child("parameter");
        if (!paramNode) throw DefinitionError("Condition must have a parameter element");
        IdentityCondition condition;
        condition.parameterName = paramNode.attribute("name").as_string();
        condition.op = paramNode.attribute("operator").as_string();
        if (condition.parameterName.empty()) {
            throw DefinitionError("Parameter in condition must have a name attribute");
        }
        if (condition.op.empty())
            throw DefinitionError("Parameter in condition must have an operator attribute");
        if (!def_.hasParameter(condition.parameterName)) {
            throw DefinitionError("Referenced parameter does not exist: " + condition.parameterName);
        }
        condition.value = readReal(paramNode, "value", 0.0);
        def_.identityConditions_.push_back(std::move(condition));
    }
}

void DefinitionReader::checkExecutionText(const std::string& text, const char* level) const {
    static const std::string kPrefix = "param:";
    if (text.compare(0, kPrefix.size(), kPrefix) != 0) return;
    const std::string name = text.substr(kPrefix.size());
    const auto found = def_.parameterIndex_.find(name);
    if (found == def_.parameterIndex_.end() || !def_.parameters_[found->second].resolution_scaled) return;
    throw DefinitionError(
        "executions=\"param:" + name + "\" (" + level +
        ") references a resolution_scaled parameter - pass counts must not vary with render "
        "scale. Remove resolution_scaled from '" +
        name + "' or drive executions from an int parameter.");
}

void DefinitionReader::checkExecutionCounts() const {
    checkExecutionText(def_.pipelineExecutions_, "effect/pipeline level");
    for (const ProcessDefinition& process : def_.processes_)
        checkExecutionText(process.executions, "process level");
}
