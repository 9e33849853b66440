// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/SearchablePage.h"
#include "Platform/TextRecognizer.h"

#include <gtest/gtest.h>
#include <span>
#include <vector>

/// A test suite whose tests share two recognisers for the engine's languages, made once per
/// suite (loading the models costs about 0.1 s apiece).
class RecognizerTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_recognizers = new std::vector<TextRecognizer>();
        for (int worker = 0; worker < 2; ++worker)
            s_recognizers->emplace_back(SearchablePages::languages());
    }
    static void TearDownTestSuite() {
        delete s_recognizers;
        s_recognizers = nullptr;
    }
    static std::span<TextRecognizer> one() { return {s_recognizers->data(), 1}; }
    static std::span<TextRecognizer> two() { return *s_recognizers; }

    inline static std::vector<TextRecognizer>* s_recognizers = nullptr;
};
