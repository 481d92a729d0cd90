-- Veltrane's default MIDI mapping.
--
-- This script runs inside each Veltrane instance. The host's MIDI reaches it
-- through the handlers it registers below; it turns controllers into
-- parameter changes and notes into looper actions. Use it as it is, or copy
-- it to ~/.local/share/Odrisk/Veltrane/Scripts/midi.lua and change it: a
-- script named midi.lua there replaces this one (other scripts in that folder
-- are loaded as well, after it).
--
-- Mapping (on MIDI channel 1, or on every channel when the preference
-- "MIDI receive option" says so):
--
--   CC 12  Delay Time, across the delay slider's range
--   CC 13  Master feedback           CC 17  Filter Cutoff
--   CC 14  Dry Level                 CC 18  Filter Q
--   CC 15  Effect Level              CC 19  Filter Type
--   CC 16  Pitch (-12..+12)          CC 20  Saturation
--   CC 21  Input Level
--
--   Note C3 (48), held     Tap Record: press to start a loop, release to close it
--   Note D3 (50), held     Tap Tempo: the time held becomes the delay
--   Note E3 (52)           Freeze on/off
--   Note F3 (53)           Clear the loop
--   Note G3 (55)           Reverse on/off
--   Note A3 (57)           Stop on/off
--
-- The editor's indicators 0 to 5 light while these actions are on.

-- The channel this script listens on (1-16).
local channel = 1

-- prefRxAllChannels is set once the instance is running (it is nil while
-- this main chunk runs), so it is read inside the handlers.
local function listening(ch)
  return prefRxAllChannels or ch == channel
end

-- A controller value 0..127 as a point in a parameter's range. Frequencies
-- are spread evenly in octaves, everything else linearly.
local HERTZ = 8
local function scaled(parameter, value, low, high)
  local min, max = getParameterMinMax(parameter)
  min, max = low or min, high or max
  local x = value / 127
  if getParameterUnit(parameter) == HERTZ then
    return min * (max / min) ^ x
  end
  return min + x * (max - min)
end

local controllers = {
  [13] = "Master feedback",
  [14] = "Dry Level",
  [15] = "Effect Level",
  [16] = "Pitch",
  [17] = "Filter Cutoff",
  [18] = "Filter Q",
  [19] = "Filter Type",
  [20] = "Saturation",
  [21] = "Input Level",
}

for cc, parameter in pairs(controllers) do
  requestCC(cc, function(ch, controller, value)
    if listening(ch) then
      setParameter(parameter, scaled(parameter, value))
    end
  end)
end

-- Delay Time moves between the two ends of the editor's delay slider.
requestCC(12, function(ch, controller, value)
  if listening(ch) then
    local low = getParameter("Delay Slider Min")
    local high = getParameter("Delay Slider Max")
    setParameter("Delay Time", scaled("Delay Time", value, low, high))
  end
end)

-- Looper actions on notes. Each has an indicator lit while it is on.
local HELD, TOGGLE, TRIGGER = 1, 2, 3
local actions = {
  [48] = { parameter = "Tap Record", kind = HELD, indicator = 0 },
  [50] = { parameter = "Tap Tempo", kind = HELD, indicator = 1 },
  [52] = { parameter = "Freeze Loop", kind = TOGGLE, indicator = 2 },
  [53] = { parameter = "Clear Loop", kind = TRIGGER, indicator = 3 },
  [55] = { parameter = "Reverse", kind = TOGGLE, indicator = 4 },
  [57] = { parameter = "Stop", kind = TOGGLE, indicator = 5 },
}

local function show(action, on)
  setGUIBoolValue(action.indicator, on)
end

for note, action in pairs(actions) do
  requestNoteOn(note, function(ch)
    if not listening(ch) then return end
    if action.kind == TOGGLE then
      local on = getParameter(action.parameter) < 0.5
      setParameter(action.parameter, on and 1 or 0)
      show(action, on)
    else
      setParameter(action.parameter, 1)
      show(action, true)
      if action.kind == TRIGGER then
        -- The clear switches itself off when it is done; the light follows.
        requestTimedCallback(0.5, function() show(action, false) end)
      end
    end
  end)
  if action.kind == HELD then
    requestNoteOff(note, function(ch)
      if not listening(ch) then return end
      setParameter(action.parameter, 0)
      show(action, false)
    end)
  end
end
