{ Failures on demand, the way an Object Pascal library fails: its exceptions travel as the
  structured exception 0EEDFADE with the raise address and the exception object as arguments,
  the object's message (the first field after the class pointer) a counted string of either
  character size; crashes are plain access violations. Which failures a library shows is named
  in ProbeFaults.txt beside it, one word a line, either bare or as "<file name>:<word>" for one
  library of the folder. }
unit ProbeFault;

{$mode delphi}{$H+}{$codepage UTF8}

interface

uses
  Windows;

procedure LoadFaults(Module: HMODULE);
function Faulty(const Word: AnsiString): Boolean;
procedure RaiseWide(const Msg: UnicodeString);
procedure RaiseAnsi(const Msg: UnicodeString); { in the system code page }
procedure CrashHere;
{ A thread of the library's own that crashes at once. }
procedure CrashOnThread;

implementation

uses
  ProbeRecord;

type
  TExceptionObject = record
    ClassPtr: Pointer;
    Message: Pointer;
  end;

var
  GWords: array of AnsiString;
  GWide: UnicodeString;
  GAnsi: RawByteString;
  GObject: TExceptionObject;

procedure LoadFaults(Module: HMODULE);
var
  I, Start: Integer;
  Folder, Name: UnicodeString;
  F: THandle;
  Data: array[0..4095] of AnsiChar;
  Got: DWORD;
  Text, Line: AnsiString;
begin
  ModulePlace(Module, Folder, Name);
  F := CreateFileW(PWideChar(Folder + 'ProbeFaults.txt'), GENERIC_READ, FILE_SHARE_READ, nil, OPEN_EXISTING, 0, 0);
  if F = INVALID_HANDLE_VALUE then Exit;
  Got := 0;
  ReadFile(F, Data, SizeOf(Data) - 1, Got, nil);
  CloseHandle(F);
  SetString(Text, PAnsiChar(@Data[0]), Got);
  Text := Text + #10;
  Start := 1;
  for I := 1 to Length(Text) do
    if Text[I] in [#10, #13] then
    begin
      Line := Copy(Text, Start, I - Start);
      Start := I + 1;
      if Line = '' then Continue;
      if Pos(':', Line) > 0 then
      begin
        if LowerCase(Copy(Line, 1, Pos(':', Line) - 1)) <> LowerCase(AnsiString(Name)) then Continue;
        Delete(Line, 1, Pos(':', Line));
      end;
      SetLength(GWords, Length(GWords) + 1);
      GWords[High(GWords)] := Line;
    end;
end;

function Faulty(const Word: AnsiString): Boolean;
var
  I: Integer;
begin
  for I := 0 to High(GWords) do
    if GWords[I] = Word then Exit(True);
  Result := False;
end;

procedure RaiseObject(Msg: Pointer);
var
  Args: array[0..1] of ULONG_PTR;
begin
  GObject.ClassPtr := @GObject;
  GObject.Message := Msg;
  Args[0] := ULONG_PTR(@RaiseObject);
  Args[1] := ULONG_PTR(@GObject);
  RaiseException($0EEDFADE, EXCEPTION_NONCONTINUABLE, 2, @Args[0]);
end;

procedure RaiseWide(const Msg: UnicodeString);
begin
  GWide := Msg;
  RaiseObject(Pointer(GWide));
end;

procedure RaiseAnsi(const Msg: UnicodeString);
var
  N: Integer;
begin
  N := WideCharToMultiByte(CP_ACP, 0, PWideChar(Msg), Length(Msg), nil, 0, nil, nil);
  SetLength(GAnsi, N);
  WideCharToMultiByte(CP_ACP, 0, PWideChar(Msg), Length(Msg), PAnsiChar(GAnsi), N, nil, nil);
  SetCodePage(GAnsi, GetACP, False);
  RaiseObject(Pointer(GAnsi));
end;

procedure CrashHere;
begin
  PInteger(nil)^ := 1;
end;

function CrashThread(Parameter: Pointer): DWORD; stdcall;
begin
  CrashHere;
  Result := 0;
end;

procedure CrashOnThread;
var
  Id: DWORD;
begin
  CloseHandle(CreateThread(nil, 0, @CrashThread, nil, 0, Id));
end;

end.
