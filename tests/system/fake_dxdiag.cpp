#include "core/win32.h"

#include "system/fake_dxdiag.h"

#include <cwchar>

namespace {

FakeDxDiag g_Fake;

// Reference counting shared by the two interfaces; every live object is counted in the world.
template <typename Interface> class FakeObject : public Interface {
public:
    FakeObject() { ++g_Fake.liveObjects; }
    virtual ~FakeObject() { --g_Fake.liveObjects; }
    STDMETHOD(QueryInterface)(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++references_; }
    STDMETHOD_(ULONG, Release)() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

private:
    ULONG references_ = 1;
};

HRESULT CopyName(const std::wstring& name, LPWSTR out, DWORD capacity) {
    if (!out || capacity == 0) return E_INVALIDARG;
    if (name.size() >= capacity) return E_INVALIDARG;
    std::wmemcpy(out, name.c_str(), name.size() + 1);
    return S_OK;
}

// The child behind one path segment; a chain node grows its next level on demand.
std::shared_ptr<FakeNode> FindChild(FakeNode& node, const std::wstring& name) {
    if (node.chainBelow > 0 && node.children.empty()) {
        auto next = std::make_shared<FakeNode>();
        next->properties = node.properties;
        next->chainBelow = node.chainBelow - 1;
        node.children.emplace_back(L"Level", next);
    }
    for (auto& [childName, child] : node.children)
        if (childName == name) return child;
    return nullptr;
}

class FakeContainer : public FakeObject<IDxDiagContainer> {
public:
    explicit FakeContainer(std::shared_ptr<FakeNode> node) : node_(std::move(node)) {}

    STDMETHOD(GetNumberOfChildContainers)(DWORD* count) override {
        FindChild(*node_, L""); // a chain node makes its level first
        *count = static_cast<DWORD>(node_->children.size());
        return S_OK;
    }
    STDMETHOD(EnumChildContainerNames)(DWORD index, LPWSTR name, DWORD capacity) override {
        FindChild(*node_, L"");
        if (index >= node_->children.size()) return E_INVALIDARG;
        return CopyName(node_->children[index].first, name, capacity);
    }
    // Dotted paths walk down several levels, as the platform's provider allows.
    STDMETHOD(GetChildContainer)(LPCWSTR path, IDxDiagContainer** out) override {
        *out = nullptr;
        std::shared_ptr<FakeNode> at = node_;
        std::wstring rest = path ? path : L"";
        while (at) {
            const std::size_t dot = rest.find(L'.');
            at = FindChild(*at, rest.substr(0, dot));
            if (dot == std::wstring::npos) break;
            rest = rest.substr(dot + 1);
        }
        if (!at) return E_INVALIDARG;
        *out = new FakeContainer(at);
        return S_OK;
    }
    STDMETHOD(GetNumberOfProps)(DWORD* count) override {
        *count = static_cast<DWORD>(node_->properties.size());
        return S_OK;
    }
    STDMETHOD(EnumPropNames)(DWORD index, LPWSTR name, DWORD capacity) override {
        if (index >= node_->properties.size()) return E_INVALIDARG;
        return CopyName(node_->properties[index].first, name, capacity);
    }
    STDMETHOD(GetProp)(LPCWSTR name, VARIANT* value) override {
        g_Fake.propertiesAsked.emplace_back(name);
        for (const auto& [propertyName, property] : node_->properties) {
            if (propertyName != name) continue;
            VariantInit(value);
            value->vt = property.type;
            if (property.type == VT_BSTR) value->bstrVal = SysAllocString(property.text.c_str());
            if (property.type == VT_UI4) value->ulVal = static_cast<ULONG>(property.number);
            if (property.type == VT_I4) value->lVal = property.number;
            if (property.type == VT_BOOL)
                value->boolVal = static_cast<VARIANT_BOOL>(property.number);
            return S_OK;
        }
        return E_INVALIDARG;
    }

private:
    std::shared_ptr<FakeNode> node_;
};

class FakeProvider : public FakeObject<IDxDiagProvider> {
public:
    STDMETHOD(Initialize)(DXDIAG_INIT_PARAMS* params) override {
        g_Fake.params = *params;
        g_Fake.initialized = SUCCEEDED(g_Fake.initializeResult);
        return g_Fake.initializeResult;
    }
    STDMETHOD(GetRootContainer)(IDxDiagContainer** out) override {
        *out = g_Fake.initialized ? new FakeContainer(g_Fake.root) : nullptr;
        return g_Fake.initialized ? S_OK : E_FAIL;
    }
};

FakeNode& Set(FakeNode& node, const std::wstring& name, FakeProperty property) {
    node.properties.emplace_back(name, std::move(property));
    return node;
}

} // namespace

FakeNode& FakeNode::Child(const std::wstring& name) {
    for (auto& [childName, child] : children)
        if (childName == name) return *child;
    children.emplace_back(name, std::make_shared<FakeNode>());
    return *children.back().second;
}

FakeNode& FakeNode::Text(const std::wstring& name, const std::wstring& value) {
    return Set(*this, name, {VT_BSTR, value, 0});
}
FakeNode& FakeNode::UInt(const std::wstring& name, DWORD value) {
    return Set(*this, name, {VT_UI4, L"", static_cast<LONG>(value)});
}
FakeNode& FakeNode::Int(const std::wstring& name, LONG value) {
    return Set(*this, name, {VT_I4, L"", value});
}
FakeNode& FakeNode::Bool(const std::wstring& name, VARIANT_BOOL value) {
    return Set(*this, name, {VT_BOOL, L"", value});
}

FakeDxDiag& TheFakeDxDiag() {
    return g_Fake;
}

void ResetFakeDxDiag() {
    const int live = g_Fake.liveObjects;
    g_Fake = FakeDxDiag{};
    g_Fake.liveObjects = live;
}

HRESULT CreateFakeDxDiagProvider(IDxDiagProvider** provider) {
    *provider = nullptr;
    if (FAILED(g_Fake.createResult)) return g_Fake.createResult;
    *provider = new FakeProvider;
    return S_OK;
}
