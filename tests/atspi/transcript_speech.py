"""A speech server for Orca that writes what it would say to a file, one
utterance a line, instead of sounding it. Orca loads it by module name
(speechServerFactory) when this folder is on PYTHONPATH; the file is named
by LEVERANS_SPEECH_FILE."""

import os

from orca import speechserver


def _write(kind, text):
    path = os.environ.get("LEVERANS_SPEECH_FILE")
    if not path or not text:
        return
    with open(path, "a", encoding="utf-8") as out:
        out.write("%s\t%s\n" % (kind, " ".join(text.split())))


class SpeechServer(speechserver.SpeechServer):
    _active = None

    @staticmethod
    def getFactoryName():
        return "Transcript"

    @staticmethod
    def getSpeechServers():
        return [SpeechServer.getSpeechServer()]

    @staticmethod
    def getSpeechServer(info=None):
        if SpeechServer._active is None:
            SpeechServer._active = SpeechServer()
        return SpeechServer._active

    @staticmethod
    def shutdownActiveServers():
        SpeechServer._active = None

    def getInfo(self):
        return ["Transcript", "transcript"]

    def getVoiceFamilies(self):
        return []

    def speakCharacter(self, character, acss=None):
        _write("char", character)

    def speakKeyEvent(self, event, acss=None):
        _write("key", event.getKeyName())

    def speak(self, text=None, acss=None, interrupt=True):
        _write("say", text)

    def sayAll(self, utteranceIterator, progressCallback):
        for context, acss in utteranceIterator:
            _write("say", context.utterance)

    def stop(self):
        _write("stop", "-")

    def shutdown(self):
        pass

    def reset(self, text=None, acss=None):
        pass
