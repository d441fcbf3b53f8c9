#pragma once

// Root of every image library class.
class CPLObject {
public:
    virtual ~CPLObject() = default;
    // Diagnostic hook kept for derived classes; it has nothing to check here.
    virtual void AssertValid() const {}
};
