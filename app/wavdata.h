#pragma once

#include <QAudioFormat>
#include <QByteArray>
#include <QString>

class QIODevice;

// The playable part of a RIFF/WAVE file: its PCM format and the bytes of its data chunk.
// An audio sink must never see the header, or it plays it as a click.
struct WavData
{
    QAudioFormat format;
    QByteArray samples;
};

// Reads a PCM WAVE stream (8, 16 or 32-bit integer or 32-bit float samples).
// Returns false with a reason in *error when the stream is not one.
bool readWav(QIODevice *source, WavData *out, QString *error);
