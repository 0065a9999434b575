#pragma once
// Catches the protocol errors of strict virtual programmers for one scope instead of failing the
// test; afterwards every protocol error fails the test again.

#include "sim/Box.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace tonrig::test {

class CapturedProtocolErrors {
public:
    CapturedProtocolErrors()
    {
        sim::SetProtocolErrorHook([this](const std::string& what) {
            std::lock_guard lock(m_mutex);
            m_errors.push_back(what);
        });
    }
    ~CapturedProtocolErrors()
    {
        sim::SetProtocolErrorHook(
            [](const std::string& what) { ADD_FAILURE() << "virtual programmer protocol error: " << what; });
    }
    std::vector<std::string> Errors()
    {
        std::lock_guard lock(m_mutex);
        return m_errors;
    }
    std::size_t Count() { return Errors().size(); }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_errors;
};

} // namespace tonrig::test
