#include "convert/conversion_task.h"

#include <cstdio>

ConversionTask MakeTitleTask(int titleIndex, const TitleInfo& title, const TitleVideo& video)
{
    ConversionTask task;
    task.titleIndex = titleIndex;
    task.chapterIndex = -1;
    task.sourceLength = static_cast<std::int64_t>(title.durationMs);
    task.clip.trimStart = 0;
    task.clip.trimLength = task.sourceLength;
    // The title's real picture: a fixed 720 × 480 would cut the bottom sixth off PAL pictures.
    task.clip.picture.cropRight = video.width;
    task.clip.picture.cropBottom = video.height;
    return task;
}

std::string TaskOutputName(const ConversionTask& task, const std::string& extension)
{
    char name[32];
    if (task.chapterIndex >= 0)
        std::snprintf(name, sizeof name, "Chapter_%02d_%02d", task.titleIndex + 1, task.chapterIndex + 1);
    else
        std::snprintf(name, sizeof name, "Title_%02d", task.titleIndex + 1);
    return name + extension;
}
