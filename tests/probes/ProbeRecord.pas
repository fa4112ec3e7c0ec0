{ Record files of the conformance probes: one JSON object per line (UTF-8), appended to a file
  beside the probe's own DLL, from any thread. Texts that arrive in the system code page are
  converted to UTF-8; raw bytes can be added as hex where the exact bytes matter. }
unit ProbeRecord;

{$mode delphi}{$H+}

interface

uses
  Windows;

type
  { One JSON object under construction: J('kind').Int('a', 1).Str('b', 'x').Put writes it. All
    strings here hold UTF-8 bytes; none of them is ever converted by the run-time library. }
  TJ = record
    Text: AnsiString;
    function Raw(const Name, Json: AnsiString): TJ;
    function Str(const Name, Utf8: AnsiString): TJ;
    function Ansi(const Name: AnsiString; P: PAnsiChar): TJ; // zero-terminated, system code page
    function Hex(const Name: AnsiString; P: Pointer; Len: Integer): TJ;
    function Wide(const Name: AnsiString; P: PWideChar; Len: Integer): TJ;
    function Int(const Name: AnsiString; V: Int64): TJ;
    function Bool(const Name: AnsiString; V: Boolean): TJ;
    procedure Put;
  end;

{ The folder of the module, with its trailing separator, and the module's file name. }
procedure ModulePlace(Module: HMODULE; out Folder, Name: UnicodeString);
{ Names the record file: FileName beside the module Module. }
procedure OpenRecord(Module: HMODULE; const FileName: UnicodeString);
function J(const Kind: AnsiString): TJ;
{ A quoted JSON string of the bytes as they are (UTF-8 in the records, the system code page in
  the texts the framework probe builds for the client). }
function QuoteJson(P: PAnsiChar; Len: Integer): AnsiString;
function JsonString(const Utf8: AnsiString): AnsiString;
{ System code page <-> UTF-16 <-> UTF-8, explicitly (no run-time library conversions). }
function AnsiToWide(P: PAnsiChar; Len: Integer): UnicodeString;
function WideToAnsi(const W: UnicodeString): AnsiString;
function WideToUtf8(P: PWideChar; Len: Integer): AnsiString;
function AnsiToUtf8Text(P: PAnsiChar): AnsiString;
{ A zero-terminated UTF-16 text (nil for none) in UTF-8. }
function WText(P: PWideChar): AnsiString;
function HexOf(P: Pointer; Len: Integer): AnsiString;
{ Decimal text of a double, "." as separator, shortest form for the values the probes use. }
function FloatText(V: Double): AnsiString;
{ The whole 32-bit stack slot of an argument, read from its address. }
function SlotOf(const Arg): LongWord;

implementation

uses
  SysUtils;

const
  kFileAppendData = $0004;

var
  GPath: UnicodeString;
  GLock: TRTLCriticalSection;

procedure ModulePlace(Module: HMODULE; out Folder, Name: UnicodeString);
var
  Buf: array[0..1023] of WideChar;
  N, I: Integer;
begin
  N := GetModuleFileNameW(Module, Buf, Length(Buf));
  I := N;
  while (I > 0) and (Buf[I - 1] <> '\') do
    Dec(I);
  SetString(Folder, PWideChar(@Buf[0]), I);
  SetString(Name, PWideChar(@Buf[I]), N - I);
end;

procedure OpenRecord(Module: HMODULE; const FileName: UnicodeString);
var
  Name: UnicodeString;
begin
  ModulePlace(Module, GPath, Name);
  GPath := GPath + FileName;
end;

function QuoteJson(P: PAnsiChar; Len: Integer): AnsiString;
const
  Digits: array[0..15] of AnsiChar = '0123456789abcdef';
var
  I, N: Integer;
  C: AnsiChar;
begin
  { Byte by byte into place: appending a character to a string would convert it. }
  SetLength(Result, 6 * Len + 2);
  N := 1;
  Result[N] := '"';
  for I := 0 to Len - 1 do
  begin
    C := P[I];
    if C in ['"', '\'] then
    begin
      Result[N + 1] := '\';
      Result[N + 2] := C;
      Inc(N, 2);
    end
    else if Ord(C) < 32 then
    begin
      Result[N + 1] := '\';
      Result[N + 2] := 'u';
      Result[N + 3] := '0';
      Result[N + 4] := '0';
      Result[N + 5] := Digits[Ord(C) shr 4];
      Result[N + 6] := Digits[Ord(C) and 15];
      Inc(N, 6);
    end
    else
    begin
      Result[N + 1] := C;
      Inc(N);
    end;
  end;
  Result[N + 1] := '"';
  SetLength(Result, N + 1);
end;

function JsonString(const Utf8: AnsiString): AnsiString;
begin
  Result := QuoteJson(PAnsiChar(Utf8), Length(Utf8));
end;

function AnsiToWide(P: PAnsiChar; Len: Integer): UnicodeString;
begin
  if (P = nil) or (Len <= 0) then
    Exit('');
  SetLength(Result, MultiByteToWideChar(CP_ACP, 0, P, Len, nil, 0));
  MultiByteToWideChar(CP_ACP, 0, P, Len, PWideChar(Result), Length(Result));
end;

{ UTF-16 to the code page CodePage. }
function FromWide(CodePage: UINT; P: PWideChar; Len: Integer): AnsiString;
begin
  if (P = nil) or (Len <= 0) then
    Exit('');
  SetLength(Result, WideCharToMultiByte(CodePage, 0, P, Len, nil, 0, nil, nil));
  WideCharToMultiByte(CodePage, 0, P, Len, PAnsiChar(Result), Length(Result), nil, nil);
end;

function WideToAnsi(const W: UnicodeString): AnsiString;
begin
  Result := FromWide(CP_ACP, PWideChar(W), Length(W));
end;

function WideToUtf8(P: PWideChar; Len: Integer): AnsiString;
begin
  Result := FromWide(CP_UTF8, P, Len);
end;

function WText(P: PWideChar): AnsiString;
begin
  Result := WideToUtf8(P, lstrlenW(P)); { lstrlenW(nil) is 0 }
end;

function AnsiToUtf8Text(P: PAnsiChar): AnsiString;
var
  W: UnicodeString;
begin
  W := AnsiToWide(P, lstrlenA(P)); { lstrlenA(nil) is 0 }
  Result := WideToUtf8(PWideChar(W), Length(W));
end;

function HexOf(P: Pointer; Len: Integer): AnsiString;
const
  Digits: array[0..15] of AnsiChar = '0123456789abcdef';
var
  I: Integer;
  B: PByte;
begin
  SetLength(Result, 2 * Len);
  B := P;
  for I := 0 to Len - 1 do
  begin
    Result[2 * I + 1] := Digits[B[I] shr 4];
    Result[2 * I + 2] := Digits[B[I] and 15];
  end;
end;

function FloatText(V: Double): AnsiString;
var
  Fs: TFormatSettings;
begin
  Fs := DefaultFormatSettings;
  Fs.DecimalSeparator := '.';
  Result := AnsiString(FloatToStrF(V, ffGeneral, 15, 0, Fs));
end;

function SlotOf(const Arg): LongWord;
begin
  Result := PLongWord(@Arg)^;
end;

function J(const Kind: AnsiString): TJ;
begin
  Result.Text := '{"kind":' + JsonString(Kind);
end;

function TJ.Raw(const Name, Json: AnsiString): TJ;
begin
  Result.Text := Text + ',' + JsonString(Name) + ':' + Json;
end;

function TJ.Str(const Name, Utf8: AnsiString): TJ;
begin
  Result := Raw(Name, JsonString(Utf8));
end;

function TJ.Ansi(const Name: AnsiString; P: PAnsiChar): TJ;
begin
  Result := Str(Name, AnsiToUtf8Text(P));
end;

function TJ.Hex(const Name: AnsiString; P: Pointer; Len: Integer): TJ;
begin
  Result := Str(Name, HexOf(P, Len));
end;

function TJ.Wide(const Name: AnsiString; P: PWideChar; Len: Integer): TJ;
begin
  Result := Str(Name, WideToUtf8(P, Len));
end;

function TJ.Int(const Name: AnsiString; V: Int64): TJ;
begin
  Result := Raw(Name, AnsiString(IntToStr(V)));
end;

function TJ.Bool(const Name: AnsiString; V: Boolean): TJ;
begin
  if V then
    Result := Raw(Name, 'true')
  else
    Result := Raw(Name, 'false');
end;

procedure TJ.Put;
var
  Line: AnsiString;
  F: THandle;
  Written: DWORD;
begin
  Line := Text + '}' + #10;
  EnterCriticalSection(GLock);
  try
    F := CreateFileW(PWideChar(GPath), kFileAppendData, FILE_SHARE_READ or FILE_SHARE_WRITE, nil,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if F <> INVALID_HANDLE_VALUE then
    begin
      WriteFile(F, PAnsiChar(Line)^, Length(Line), Written, nil);
      CloseHandle(F);
    end;
  finally
    LeaveCriticalSection(GLock);
  end;
end;

initialization
  InitializeCriticalSection(GLock);
end.
