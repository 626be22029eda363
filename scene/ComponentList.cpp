// ComponentList: broadcasts in insertion order; deletes its members first to last.
#include "scene/SceneComponent.h"

ComponentList::~ComponentList() { DeleteAll(); }

void ComponentList::DeleteAll() {
    for (SceneComponent* member : members) delete member;
    members.clear();
}

HRESULT ComponentList::CreateResources(IDirect3DDevice8* newDevice) {
    SceneComponent::CreateResources(newDevice);
    for (SceneComponent* member : members)
        if (member) member->CreateResources(newDevice);
    return S_OK;
}

HRESULT ComponentList::LoseResources() {
    for (SceneComponent* member : members)
        if (member) member->LoseResources();
    return S_OK;
}

HRESULT ComponentList::RestoreResources() {
    for (SceneComponent* member : members)
        if (member) member->RestoreResources();
    return S_OK;
}

HRESULT ComponentList::ReleaseResources() {
    for (SceneComponent* member : members)
        if (member) member->ReleaseResources();
    return S_OK;
}

void ComponentList::Tick(float elapsedSeconds) {
    for (SceneComponent* member : members)
        if (member) member->Tick(elapsedSeconds);
}
