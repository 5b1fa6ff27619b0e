#include "play/preview_controller.h"

#include <algorithm>

#include "pipeline/event_codes.h"

PreviewController::PreviewController(std::unique_ptr<PreviewPlayer> player) : m_player(std::move(player)) {}

bool PreviewController::Prepare(std::shared_ptr<SourceDisc> disc, void* window, GraphNotifyCallback notify)
{
    m_title = -1;
    m_paused = false;
    return m_player->CreateGraph(std::move(disc), window, nullptr, std::move(notify));
}

void PreviewController::Teardown()
{
    Stop();
    m_player->Teardown();
}

bool PreviewController::Play(const ConversionTask& task, int deinterlace)
{
    m_player->SetDeinterlace(deinterlace);
    if (!m_player->SetTitle(task.titleIndex, -1)) return false;
    m_player->SetPosition(0);
    m_player->ChooseStreams(task.audioStreamId, task.burnSubtitles ? task.subtitleId : 0);
    m_player->ShowSubpictures(task.burnSubtitles && task.subtitleId != 0);
    m_title = task.titleIndex;
    m_paused = false;
    m_player->Play();
    return true;
}

bool PreviewController::Resume()
{
    if (!m_paused || m_title < 0) return false;
    m_player->Play();
    m_paused = false;
    return true;
}

void PreviewController::Pause()
{
    if (m_title < 0) return;
    m_player->Pause();
    m_paused = true;
}

void PreviewController::Stop()
{
    m_player->Stop();
    m_player->SetPosition(0);
    m_title = -1;
    m_paused = false;
}

std::optional<double> PreviewController::Position()
{
    double position = 0, length = 0;
    if (m_title < 0 || !m_player->GetPosition(position) || !m_player->GetPlayLength(length) || length <= 0) return std::nullopt;
    return std::clamp(position / length, 0.0, 1.0);
}

std::optional<double> PreviewController::Length()
{
    double length = 0;
    if (m_title < 0 || !m_player->GetPlayLength(length) || length <= 0) return std::nullopt;
    return length;
}

void PreviewController::Seek(double share)
{
    double length = 0;
    if (m_title < 0 || !m_player->GetPlayLength(length) || length <= 0) return;
    m_player->SetPosition(length * std::clamp(share, 0.0, 1.0));
}

bool PreviewController::HandleEvents()
{
    LONG code = 0;
    LONG_PTR param1 = 0, param2 = 0;
    bool ended = false;
    while (m_player->NextEvent(code, param1, param2))
        if (code == EC_COMPLETE || code == EC_USERABORT || code == EC_ERRORABORT) ended = true;
    if (!ended || m_title < 0) return false;
    Stop();
    return true;
}

void PreviewController::ChooseAudio(int title, std::int32_t audioStreamId)
{
    if (m_title >= 0 && title == m_title) m_player->ChooseStreams(audioStreamId, 0);
}

void PreviewController::ChooseSubtitle(int title, std::int32_t subtitleId)
{
    if (m_title < 0 || title != m_title) return;
    if (subtitleId != 0) m_player->ChooseStreams(0, subtitleId);
    m_player->ShowSubpictures(subtitleId != 0);
}

bool PreviewController::Snapshot(const std::string& path) { return m_title >= 0 && m_player->Snapshot(path); }
