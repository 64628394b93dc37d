#pragma once

// The OpenFX facts table (tab-separated: kind, header, name, then the value or the member fields) and its
// comparison with what our compiled declarations contain.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace ofxabi {

struct AbiRow {
    std::string kind;
    std::string header;
    std::string name;
    std::vector<std::string> fields;  // the columns after the name
};

// Reads the table; throws std::runtime_error naming the file and line when it cannot be read or parsed.
std::vector<AbiRow> loadTable(const std::string& path);
std::vector<AbiRow> parseTable(const std::string& text, const std::string& origin);

// Every disagreement between the rows and the compiled declarations, one readable line each.
std::vector<std::string> compareWithCompiled(const std::vector<AbiRow>& rows);

// Constants our headers declare beyond the table, on purpose.
const std::set<std::string>& intentionalExtraConstants();

// Turns a C type as the table spells it into the canonical spelling of TypeName.
class TypeCanon {
  public:
    explicit TypeCanon(const std::vector<AbiRow>& rows);

    std::string object(const std::string& spelled) const;
    std::string parameter(const std::string& spelled) const;
    std::string function(const std::string& returnType, const std::string& parameterList) const;

    static std::size_t sizeOf(const std::string& canonical);

  private:
    std::map<std::string, std::string> typedefs_;       // name -> canonical type
    std::map<std::string, std::string> functionTypes_;  // name -> "returns R; params: ..."
    std::set<std::string> records_;
    std::set<std::string> enums_;
};

}  // namespace ofxabi
