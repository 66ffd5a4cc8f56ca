#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a fake host module records of the plug-in's calls, and how it answers.
struct FakeHostControl {
    int32_t rightAnswer = 1;
    std::vector<int32_t> rightsAsked;
    int workPathCalls = 0;
    std::vector<std::string> statements;
    const char* workPath = "/srv/tunnel/work";
};

using FakeHostControlFunction = FakeHostControl* (*)();
