#pragma once

// Records describing what our compiled OpenFX declarations contain: constants with their values, enums,
// typedefs and struct layouts with a canonical spelling of every member's type.

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

namespace ofxabi {

struct CompiledConstant {
    std::string name;
    bool isString = false;
    std::string text;      // value of a string constant
    long long number = 0;  // value of a numeric constant
};

struct CompiledEnumItem {
    std::string name;
    long long value = 0;
};

struct CompiledEnum {
    std::string name;
    std::size_t size = 0;
    std::vector<CompiledEnumItem> items;
};

struct CompiledTypedef {
    std::string name;
    std::string type;  // canonical spelling, see TypeName
};

struct CompiledMember {
    std::string name;
    std::size_t offset = 0;
    std::size_t size = 0;
    std::string type;
};

struct CompiledStruct {
    std::string name;
    std::size_t size = 0;
    std::size_t align = 0;
    std::vector<CompiledMember> members;
};

const std::vector<CompiledConstant>& compiledConstants();
const std::vector<CompiledEnum>& compiledEnums();
const std::vector<CompiledTypedef>& compiledTypedefs();
const std::vector<CompiledStruct>& compiledStructs();

// Canonical type spelling: qualifiers and pointers written after what they apply to ("char const*",
// "void* const*"), records as "struct Name", enums as "enum Name", functions as "R (A, B)" with
// "(void)" for no parameters and "..." for a variadic tail.
template <class T, class Enable = void>
struct TypeName;

template <class T>
std::string typeName() {
    return TypeName<T>::get();
}

#define OFX_ABI_NAMED_TYPE(TYPE, SPELLING)            \
    template <>                                       \
    struct TypeName<TYPE> {                           \
        static std::string get() { return SPELLING; } \
    }

OFX_ABI_NAMED_TYPE(void, "void");
OFX_ABI_NAMED_TYPE(bool, "bool");
OFX_ABI_NAMED_TYPE(char, "char");
OFX_ABI_NAMED_TYPE(signed char, "signed char");
OFX_ABI_NAMED_TYPE(unsigned char, "unsigned char");
OFX_ABI_NAMED_TYPE(short, "short");
OFX_ABI_NAMED_TYPE(unsigned short, "unsigned short");
OFX_ABI_NAMED_TYPE(int, "int");
OFX_ABI_NAMED_TYPE(unsigned int, "unsigned int");
OFX_ABI_NAMED_TYPE(long, "long");
OFX_ABI_NAMED_TYPE(unsigned long, "unsigned long");
OFX_ABI_NAMED_TYPE(long long, "long long");
OFX_ABI_NAMED_TYPE(unsigned long long, "unsigned long long");
OFX_ABI_NAMED_TYPE(float, "float");
OFX_ABI_NAMED_TYPE(double, "double");

template <class T>
struct TypeName<const T> {
    static std::string get() { return typeName<T>() + " const"; }
};

template <class T>
struct TypeName<T*> {
    static std::string get() { return typeName<T>() + "*"; }
};

template <class... A>
std::string parameterList(bool variadic) {
    std::vector<std::string> names = {typeName<A>()...};
    if (variadic) names.push_back("...");
    if (names.empty()) return "(void)";
    std::string joined;
    for (const std::string& n : names) joined += (joined.empty() ? "" : ", ") + n;
    return "(" + joined + ")";
}

template <class R, class... A>
struct TypeName<R(A...)> {
    static std::string get() { return typeName<R>() + " " + parameterList<A...>(false); }
};

template <class R, class... A>
struct TypeName<R(A..., ...)> {
    static std::string get() { return typeName<R>() + " " + parameterList<A...>(true); }
};

template <class T>
inline CompiledConstant makeConstant(const char* name, T value) {
    CompiledConstant c;
    c.name = name;
    if constexpr (std::is_convertible_v<T, const char*>) {
        c.isString = true;
        c.text = value;
    } else {
        c.number = static_cast<long long>(value);
    }
    return c;
}

}  // namespace ofxabi

#define OFX_ABI_CONSTANT(NAME) ::ofxabi::makeConstant(#NAME, NAME)
#define OFX_ABI_ENUM_ITEM(NAME)               \
    ::ofxabi::CompiledEnumItem {              \
#NAME, static_cast < long long>(NAME) \
    }
#define OFX_ABI_TYPEDEF(NAME)               \
    ::ofxabi::CompiledTypedef {             \
#NAME, ::ofxabi::typeName < NAME>() \
    }
#define OFX_ABI_MEMBER(STRUCT, MEMBER)                                           \
    ::ofxabi::CompiledMember {                                                   \
#MEMBER, offsetof(STRUCT, MEMBER), sizeof(STRUCT::MEMBER),               \
            ::ofxabi::typeName < std::remove_cv_t < decltype(STRUCT::MEMBER)>>() \
    }
