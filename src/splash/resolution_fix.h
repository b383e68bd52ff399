// TResolutionFix: rescales, once in its life, the place and size of every
// control its form owns by DesignRes / the screen's pixels per inch. The owner
// must be a form. Nothing changes when the form's density, set to the
// screen's, already equals DesignRes.
#pragma once

#include <cstdint>

#include "framework/component.h"

namespace pagorix {

class TResolutionFix : public TComponent {
public:
    explicit TResolutionFix(TComponent* owner) : TComponent(owner) {}

    bool Applied() const { return m_applied; }
    std::int32_t DesignRes() const { return m_designRes; }
    void SetDesignRes(std::int32_t designRes) { m_designRes = designRes; }

    void Apply();

    void ReadProperty(const std::string& name, const TStoredValue& value) override;

private:
    bool m_applied = false;
    std::int32_t m_designRes = 120;
};

}  // namespace pagorix
