// The simulator's session under test, shared by the simulator's test files: the Agent
// key loaded once per suite, a fresh session per test, and readers of its JSON log.
#pragma once
#include <gtest/gtest.h>

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/evp.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "session/envelope.h"
#include "tools/agentsim/deskey.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/session.h"

struct SimSessionTest : ::testing::Test {
    static inline EVP_PKEY *key = nullptr;
    SimOptions opt;
    SimSession sess;

    static void SetUpTestSuite()
    {
        SimOptions o;
        SimOptionsInit(&o);
        char *pem;
        size_t len;
        char err[200];
        ASSERT_TRUE(SimKeyLoad(o.keyPath, &pem, &len, &key, err, sizeof err)) << err;
        ASSERT_TRUE(EnvelopeLoadKeyPem(pem, len));
        free(pem);
    }
    static void TearDownTestSuite()
    {
        EVP_PKEY_free(key);
        key = nullptr;
    }
    void SetUp() override
    {
        EnvelopeSeed(nullptr, 0);
        SimOptionsInit(&opt);
        SimSessionInit(&sess, &opt, key);
    }
};

// The log's lines; a log that ends inside a line fails the test.
inline std::vector<std::string> SimLogLines(const std::string &log)
{
    std::vector<std::string> out;
    size_t start = 0, nl;
    while ((nl = log.find('\n', start)) != std::string::npos) {
        out.push_back(log.substr(start, nl - start));
        start = nl + 1;
    }
    EXPECT_EQ(start, log.size()) << "log ends inside a line";
    return out;
}

// Raw text of a field's value: a number, true/false/null, or a string with its quotes.
inline std::string SimLogField(const std::string &line, const char *key)
{
    const std::string k = std::string("\"") + key + "\":";
    size_t at = line.find(k);
    if (at == std::string::npos)
        return "<absent>";
    at += k.size();
    size_t end = at;
    if (line[at] == '"') {
        for (end = at + 1; end < line.size() && line[end] != '"'; end++)
            if (line[end] == '\\')
                end++;
        end++;
    } else {
        while (end < line.size() && line[end] != ',' && line[end] != '}')
            end++;
    }
    return line.substr(at, end - at);
}
