// Recording the engine's drawing into a BlitScript.
#include "BlitScript.h"

#include <filesystem>

void BlitRecorder::noteLoading() {
    if (!m_loadedInFrame && !m_script.frameStarts.empty()) {
        m_loadedInFrame = true;
        m_script.firstLoadingFrame = m_script.frameStarts.size() - 1;
    }
}

int BlitRecorder::addSurface(const SDL_Surface* pSurface, BlitScript::SurfaceSource source) {
    noteLoading();
    int index = static_cast<int>(m_script.surfaces.size());
    m_script.surfaces.push_back(std::move(source));
    m_indices[pSurface] = index;
    return index;
}

int BlitRecorder::indexOf(const SDL_Surface* pSurface) const {
    auto found = m_indices.find(pSurface);
    return found == m_indices.end() ? 0 : found->second;
}

void BlitRecorder::bitmapLoaded(const SDL_Surface* pSurface, const std::string& path) {
    // The game has changed into its data folder; the floor may not have.
    addSurface(pSurface, {std::filesystem::absolute(path).string(), 0, 0});
}

void BlitRecorder::surfaceCreated(const SDL_Surface* pSurface, int width, int height) {
    addSurface(pSurface, {"", width, height});
}

void BlitRecorder::blitted(const SDL_Surface* pSource, const SDL_Rect* pSourceRect,
                           const SDL_Surface* pTarget, Sint16 x, Sint16 y) {
    BlitScript::Op op;
    op.kind = BlitScript::OpKind::BLIT;
    op.source = indexOf(pSource);
    op.target = indexOf(pTarget);
    op.wholeSource = pSourceRect == nullptr;
    if (pSourceRect != nullptr) {
        op.sourceRect = *pSourceRect;
    }
    op.x = x;
    op.y = y;
    m_script.ops.push_back(op);
}

void BlitRecorder::filled(const SDL_Surface* pTarget, const SDL_Rect* pRect, Uint32 colour) {
    BlitScript::Op op;
    op.kind = BlitScript::OpKind::FILL;
    op.target = indexOf(pTarget);
    op.colour = colour;
    op.wholeTarget = pRect == nullptr;
    if (pRect != nullptr) {
        op.fillRect = *pRect;
    }
    m_script.ops.push_back(op);
}

void BlitRecorder::flipped() {
    BlitScript::Op op;
    op.kind = BlitScript::OpKind::FLIP;
    m_script.ops.push_back(op);
}

void BlitRecorder::reached(FramePoint point, int64_t) {
    if (point == FramePoint::STARTED) {
        m_script.frameStarts.push_back(m_script.ops.size());
        if (!m_loadedInFrame) {
            m_script.firstLoadingFrame = m_script.frameStarts.size();
        }
    }
}
