// A diagnostic provider of the tests' own, serving a tree of containers and properties that a
// test builds, so that the collection can be checked against exact values.
#pragma once

#include "core/win32.h"

#include <dxdiag.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct FakeProperty {
    VARTYPE type = VT_EMPTY;
    std::wstring text; // VT_BSTR
    LONG number = 0;   // VT_UI4, VT_I4, VT_BOOL
};

struct FakeNode {
    std::vector<std::pair<std::wstring, FakeProperty>> properties;
    std::vector<std::pair<std::wstring, std::shared_ptr<FakeNode>>> children;
    // This node heads a chain of so many nested "Level" nodes with its properties, each made
    // when it is first asked for.
    int chainBelow = 0;

    FakeNode& Child(const std::wstring& name); // the named child, made when absent
    FakeNode& Text(const std::wstring& name, const std::wstring& value);
    FakeNode& UInt(const std::wstring& name, DWORD value);
    FakeNode& Int(const std::wstring& name, LONG value);
    FakeNode& Bool(const std::wstring& name, VARIANT_BOOL value);
};

// The provider's world: the root it serves, what it was asked, and how many of its objects live.
struct FakeDxDiag {
    std::shared_ptr<FakeNode> root = std::make_shared<FakeNode>();
    DXDIAG_INIT_PARAMS params{};
    bool initialized = false;
    HRESULT createResult = S_OK; // what the creator reports
    HRESULT initializeResult = S_OK;
    std::vector<std::wstring> propertiesAsked;
    int liveObjects = 0;
};

// The one world the creator below serves; reset by each test.
FakeDxDiag& TheFakeDxDiag();
void ResetFakeDxDiag();
// A DxDiagProviderCreator that makes a provider over TheFakeDxDiag().
HRESULT CreateFakeDxDiagProvider(IDxDiagProvider** provider);
