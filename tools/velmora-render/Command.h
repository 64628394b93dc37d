#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// One sub-command of velmora-render: run(arguments after the sub-command name) -> exit code.
struct Command {
    const char* name;
    const char* usage;
    int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

int runList(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runDescribe(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runRender(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runDemo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runOverlay(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runBench(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runCompare(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runAnalyze(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runAnalysis(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runParams(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runPresets(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int runSavePresetCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
