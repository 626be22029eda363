// Scene components: the six-operation interface through which the application forwards its
// device events and frames, and ComponentList, the composite that broadcasts them in order.
#pragma once

#include <list>

#include "platform/d3d/d3d8.h"

class SceneComponent {
public:
    virtual ~SceneComponent() = default;
    // Stores the device (not reference-counted); derived components create their
    // device-lifetime objects after calling this.
    virtual HRESULT CreateResources(IDirect3DDevice8* newDevice) {
        device = newDevice;
        return S_OK;
    }
    virtual HRESULT LoseResources() { return S_OK; }
    virtual HRESULT RestoreResources() { return S_OK; }
    virtual HRESULT ReleaseResources() { return S_OK; }
    virtual void Tick(float elapsedSeconds) { (void)elapsedSeconds; }

protected:
    IDirect3DDevice8* device = nullptr;  // from CreateResources on; never cleared
};

// Owns its members and forwards every operation to them, first to last; the broadcasts report
// success whatever the members return.
class ComponentList : public SceneComponent {
public:
    ComponentList() = default;
    ~ComponentList() override;
    ComponentList(const ComponentList&) = delete;
    ComponentList& operator=(const ComponentList&) = delete;

    // Appends a component; the list owns it from now on.
    void Add(SceneComponent* component) { members.push_back(component); }
    size_t Count() const { return members.size(); }
    // Deletes every member, first to last, and empties the list (the destructor does the same).
    void DeleteAll();

    HRESULT CreateResources(IDirect3DDevice8* newDevice) override;
    HRESULT LoseResources() override;
    HRESULT RestoreResources() override;
    HRESULT ReleaseResources() override;
    void Tick(float elapsedSeconds) override;

private:
    std::list<SceneComponent*> members;  // insertion order
};
