{ Conformance probe for the web framework contract, built with Free Pascal as a replacement
  AppFramework.dll: the exports, window messages and call contexts of the library, written from
  its Pascal declarations. It starts the real client, plays a short page session on its message
  loop and then closes the main window, and records everything it receives as JSON lines in
  ProbeFramework.jsonl beside itself.

  The session (AppRun, one step per timer tick once the loop runs):
    page loaded; a pop-up; "sys.Enc" with a Chinese text and no caller number (answered through
    SetResult); "sys.Dec" of that answer with caller number 7 and "sys.A2" with caller number 8
    (both answered through message 2029 from the client's worker); "probe.Echo" (routed to the
    extension module's library); a second instance's wake-up request (code 2) posted to the
    application window while another window is in front; then, once both answers and the
    instance's reply (code 1) are in, the main window closes.

  Boolean results come back with the rest of EAX set (kTrueEAX, kFalseEAX); with a false goes a
  poison text where the client could pick one up: a client that reads more than AL takes the
  false for true and shows "BAD". Boolean arguments are recorded with their whole 32-bit slot. }
library ProbeFramework;

{$mode delphi}{$H+}{$codepage utf8}

uses
  Windows, Messages, SysUtils, ProbeIntf, ProbeRecord;

const
  kEventPageCall = 1;
  kEventPopup = 2;
  kEventPageLoaded = 3;
  kEncText: UnicodeString = '中文测试';
  kPopFormUrl = 'https://probe.example/pop.html';
  kPopupUrl = 'https://tax.example/p?a=1';
  kSignRequest = '{"params":[{"key":"b","value":"2"}],"timestamp":"100"}';
  kPatienceMs = 15000;

type
  { The named-value store of a context. }
  TProbeValues = class(TSlots, IAppValues)
  private
    FNames, FTexts: array of AnsiString;
    FKinds: array of AnsiChar; { s text, i integer, b Boolean }
    function Find(Name: PAnsiChar): Integer;
    procedure Store(Name: PAnsiChar; Kind: AnsiChar; const Text: AnsiString);
  protected
    class function Intf: AnsiString; override;
  public
    procedure SetValue(Name, Value: PAnsiChar); stdcall;
    procedure SetIntValue(Name: PAnsiChar; Value: Integer); stdcall;
    procedure SetBoolValue(Name: PAnsiChar; Value: Boolean); stdcall;
    function GetValue(Name: PAnsiChar): PAnsiChar; stdcall;
    function ValueCount: Integer; stdcall;
    function Json: AnsiString; { UTF-8 }
  end;

  { A parameter list: the parameters of a page call, or what the client appends. }
  TProbeParams = class(TSlots, IJsCallerInf)
  private
    FHead: AnsiString;           { caller-parameter members before the lists (system code page) }
    FTypes: array of Integer;
    FRendered: array of AnsiString; { each value as JSON (system code page) }
    FStrs: array of AnsiString;
    FInts: array of Integer;
    FText, FResult: AnsiString;
    FResultSet: Boolean;
    { Rendered: the value as JSON, where that is not Str itself (a text). }
    procedure Append(Code: Integer; const Str: AnsiString; Int: Integer = 0;
      const Rendered: AnsiString = '');
  protected
    class function Intf: AnsiString; override;
  public
    { what the client reads }
    function ParamText: PAnsiChar; stdcall;
    function ParamCount: Integer; stdcall;
    function ParamStr(Index: Integer): PAnsiChar; stdcall;
    function ParamInt(Index, Reserved: Integer): Integer; stdcall;
    function ResultText: PAnsiChar; stdcall;
    { what the client writes }
    procedure AddStrParam(Code: Integer; Value: PAnsiChar); stdcall;
    procedure AddIntParam(Code: Integer; Value: Integer); stdcall;
    procedure AddFloatParam(Code: Integer; Value: Double); stdcall;
    procedure AddBoolParam(Code: Integer; Value: Boolean); stdcall;
    procedure SetResult(Value: PAnsiChar); stdcall;
  end;

  { A context with its own value store and parameter list. }
  TProbeContext = class(TCallContext)
  private
    FValuesObj: TProbeValues;
    FParamsObj: TProbeParams;
  public
    constructor Create(CallerNo, WebID: Integer; const FunName: AnsiString);
  end;

  TProbeControlParams = class(TSlots, IControlParamsInf)
  protected
    class function Intf: AnsiString; override;
  end;

var
  GMainForm, GMainPage, GDriver: HWND;
  GEvent: TMethodRec;
  GUserContext: Pointer;
  GAppWindow: THandle;
  GAppId: AnsiString;
  GWakeMessage: UINT;
  GLoopRunning: Boolean;
  GStep: Integer;
  GStepTick: QWord;
  GEncAnswer: AnsiString;
  GAnswered7, GAnswered8, GWakeAnswered: Boolean;
  GContextNames: array of AnsiString;
  GContextPointers: array of Pointer;
  GControlParams: IControlParamsInf;

{ ---- TProbeValues ------------------------------------------------------------------------------ }

function TProbeValues.Find(Name: PAnsiChar): Integer;
begin
  for Result := 0 to High(FNames) do
    if (Name <> nil) and (StrComp(PAnsiChar(FNames[Result]), Name) = 0) then
      Exit;
  Result := -1;
end;

procedure TProbeValues.Store(Name: PAnsiChar; Kind: AnsiChar; const Text: AnsiString);
var
  I: Integer;
begin
  I := Find(Name);
  if I < 0 then
  begin
    I := Length(FNames);
    SetLength(FNames, I + 1);
    SetLength(FTexts, I + 1);
    SetLength(FKinds, I + 1);
    FNames[I] := Name;
  end;
  FTexts[I] := Text;
  FKinds[I] := Kind;
end;

class function TProbeValues.Intf: AnsiString; begin Result := 'Values'; end;

procedure TProbeValues.SetValue(Name, Value: PAnsiChar); stdcall;
begin
  Store(Name, 's', AnsiString(Value));
end;

procedure TProbeValues.SetIntValue(Name: PAnsiChar; Value: Integer); stdcall;
begin
  Store(Name, 'i', AnsiString(IntToStr(Value)));
end;

procedure TProbeValues.SetBoolValue(Name: PAnsiChar; Value: Boolean); stdcall;
begin
  J('boolArg').Str('where', 'SetBoolValue').Ansi('name', Name).Int('slot', SlotOf(Value)).Put;
  if Value then
    Store(Name, 'b', 'true')
  else
    Store(Name, 'b', 'false');
end;

function TProbeValues.GetValue(Name: PAnsiChar): PAnsiChar; stdcall;
var
  I: Integer;
begin
  I := Find(Name);
  if I < 0 then
    Result := ''
  else
    Result := PAnsiChar(FTexts[I]);
end;

function TProbeValues.ValueCount: Integer; stdcall;
begin
  Result := Length(FNames);
end;

function TProbeValues.Json: AnsiString;
var
  I: Integer;
begin
  Result := '{';
  for I := 0 to High(FNames) do
  begin
    if I > 0 then
      Result := Result + ',';
    Result := Result + JsonString(AnsiToUtf8Text(PAnsiChar(FNames[I]))) + ':';
    if FKinds[I] = 's' then
      Result := Result + JsonString(AnsiToUtf8Text(PAnsiChar(FTexts[I])))
    else
      Result := Result + FTexts[I];
  end;
  Result := Result + '}';
end;

{ ---- TProbeParams ------------------------------------------------------------------------------ }

function AnsiJsonString(P: PAnsiChar): AnsiString;
begin
  if P = nil then
    Result := '""'
  else
    Result := QuoteJson(P, StrLen(P));
end;

procedure TProbeParams.Append(Code: Integer; const Str: AnsiString; Int: Integer; const Rendered: AnsiString);
var
  N: Integer;
begin
  N := Length(FTypes);
  SetLength(FTypes, N + 1);
  SetLength(FRendered, N + 1);
  SetLength(FStrs, N + 1);
  SetLength(FInts, N + 1);
  FTypes[N] := Code;
  FRendered[N] := Rendered;
  if Rendered = '' then
    FRendered[N] := Str;
  FStrs[N] := Str;
  FInts[N] := Int;
end;

class function TProbeParams.Intf: AnsiString; begin Result := 'IJsCallerInf'; end;

procedure TProbeParams.AddStrParam(Code: Integer; Value: PAnsiChar); stdcall;
begin
  Append(Code, AnsiString(Value), 0, AnsiJsonString(Value));
end;

procedure TProbeParams.AddIntParam(Code: Integer; Value: Integer); stdcall;
begin
  Append(Code, AnsiString(IntToStr(Value)), Value);
end;

procedure TProbeParams.AddFloatParam(Code: Integer; Value: Double); stdcall;
begin
  Append(Code, FloatText(Value));
end;

procedure TProbeParams.AddBoolParam(Code: Integer; Value: Boolean); stdcall;
begin
  J('boolArg').Str('where', 'AddBoolParam').Int('slot', SlotOf(Value)).Put;
  if Value then
    Append(Code, 'true', 1)
  else
    Append(Code, 'false');
end;

function TProbeParams.ParamText: PAnsiChar; stdcall;
var
  I: Integer;
  Types, Values: AnsiString;
begin
  Types := '';
  Values := '';
  for I := 0 to High(FTypes) do
  begin
    if I > 0 then
    begin
      Types := Types + ',';
      Values := Values + ',';
    end;
    Types := Types + AnsiString(IntToStr(FTypes[I]));
    Values := Values + FRendered[I];
  end;
  FText := '{' + FHead + '"paramTypes":[' + Types + '],"paramValues":[' + Values + ']}';
  Result := PAnsiChar(FText);
end;

function TProbeParams.ParamCount: Integer; stdcall;
begin
  Result := Length(FTypes);
end;

function TProbeParams.ParamStr(Index: Integer): PAnsiChar; stdcall;
begin
  Result := '';
  if (Index >= 0) and (Index < ParamCount) then
    Result := PAnsiChar(FStrs[Index]);
end;

function TProbeParams.ParamInt(Index, Reserved: Integer): Integer; stdcall;
begin
  Result := 0;
  if (Index >= 0) and (Index < ParamCount) then
    Result := FInts[Index];
end;

procedure TProbeParams.SetResult(Value: PAnsiChar); stdcall;
begin
  FResult := AnsiString(Value);
  FResultSet := True;
end;

function TProbeParams.ResultText: PAnsiChar; stdcall;
begin
  Result := PAnsiChar(FResult);
end;

{ ---- TProbeContext ----------------------------------------------------------------------------- }

constructor TProbeContext.Create(CallerNo, WebID: Integer; const FunName: AnsiString);
begin
  inherited Create(CallerNo, WebID);
  FValuesObj := TProbeValues.Create;
  FValues := FValuesObj;
  FParamsObj := TProbeParams.Create;
  FParams := FParamsObj;
  if FunName <> '' then
    FParamsObj.FHead := AnsiString(Format('"CallerNo":%d,"WebID":%d,"FunName":', [CallerNo, WebID])) +
      AnsiJsonString(PAnsiChar(FunName)) + ',';
end;

class function TProbeControlParams.Intf: AnsiString; begin Result := 'IControlParamsInf'; end;

{ ---- helpers ----------------------------------------------------------------------------------- }

function Text(P: PAnsiChar): AnsiString;
begin
  if P = nil then
    Result := ''
  else
    Result := AnsiString(P);
end;

function Same(P: PAnsiChar; const S: AnsiString): Boolean;
begin
  Result := Text(P) = S;
end;

{ The header of a counted 8-bit string as JSON members: what a constant handed over looks like. }
function StrHeader(Data: Pointer): AnsiString;
var
  P: PByte;
begin
  if Data = nil then
    Exit('"nil":true');
  P := PByte(Data) - 12;
  Result := AnsiString(Format('"codePage":%d,"elemSize":%d,"refCount":%d,"length":%d,"strlen":%d',
    [PWord(P)^, PWord(P + 2)^, PLongInt(P + 4)^, PLongInt(P + 8)^, StrLen(PAnsiChar(Data))]));
end;

{ ---- windows ----------------------------------------------------------------------------------- }

function FormProc(Wnd: HWND; Msg: UINT; wParam: WPARAM; lParam: LPARAM): LRESULT; stdcall;
begin
  Result := 0;
  try
    case Msg of
      kMsgGetWebID:
        Exit(GetWindowLongPtrW(Wnd, GWLP_USERDATA));
      kMsgShowForm:
        begin
          J('show').Int('form', Wnd).Int('wParam', wParam).Int('lParam', lParam).Put;
          if (wParam = 1) and (lParam = 1) then
            ShowWindow(Wnd, SW_SHOW);
          Exit;
        end;
      kMsgSizeForm:
        begin
          J('size').Int('form', Wnd).Int('width', wParam).Int('height', lParam).Put;
          Exit;
        end;
      kMsgNavigate:
        begin
          J('navigate').Int('form', Wnd).Ansi('url', PAnsiChar(wParam)).Int('lParam', lParam).Put;
          Exit;
        end;
      kMsgGetFormObject:
        Exit(LRESULT(Wnd));
      kMsgRunMainScript:
        begin
          J('mainScript').Ansi('text', PAnsiChar(wParam)).Bool('buffer', lParam <> 0).Put;
          Exit(kMsgOk);
        end;
      kMsgFormClosed:
        begin
          J('formClosed').Int('form', lParam).Put;
          if (HWND(lParam) <> GMainForm) and IsWindow(HWND(lParam)) and
            (Pointer(GetWindowLongPtrW(HWND(lParam), GWLP_WNDPROC)) = Pointer(@FormProc)) then
            DestroyWindow(HWND(lParam));
          Exit;
        end;
      kMsgFocusForm:
        begin
          J('focus').Int('form', Wnd).Int('control', lParam).Put;
          Exit;
        end;
      WM_SIZE:
        if (Wnd = GMainForm) and (wParam = SIZE_MINIMIZED) then
          J('minimized').Int('form', Wnd).Put;
      WM_DESTROY:
        if Wnd = GMainForm then
        begin
          GMainForm := 0;
          PostQuitMessage(0);
        end;
    end;
  except
    on E: Exception do
      J('failure').Str('where', 'FormProc').Str('message', AnsiString(E.Message)).Put;
  end;
  Result := DefWindowProcW(Wnd, Msg, wParam, lParam);
end;

function PageProc(Wnd: HWND; Msg: UINT; wParam: WPARAM; lParam: LPARAM): LRESULT; stdcall;
var
  P: PAnsiChar;
begin
  Result := 0;
  try
    case Msg of
      kMsgRunScript:
        begin
          J('script').Int('webId', Wnd).Ansi('text', PAnsiChar(wParam)).Int('lParam', lParam).Put;
          if lParam = 1 then
            Result := kMsgOk;
          Exit;
        end;
      kMsgAnswerCaller:
        begin
          P := PAnsiChar(lParam);
          J('answer').Int('webId', Wnd).Int('callerNo', LongInt(wParam)).Ansi('text', P)
            .Hex('hex', P, StrLen(P)).Put;
          if wParam = 7 then
            GAnswered7 := True;
          if wParam = 8 then
            GAnswered8 := True;
          Exit(kMsgOk);
        end;
    end;
  except
    on E: Exception do
      J('failure').Str('where', 'PageProc').Str('message', AnsiString(E.Message)).Put;
  end;
  Result := DefWindowProcW(Wnd, Msg, wParam, lParam);
end;

procedure Step; forward;

function DriverProc(Wnd: HWND; Msg: UINT; wParam: WPARAM; lParam: LPARAM): LRESULT; stdcall;
begin
  try
    if Msg = WM_TIMER then
    begin
      Step;
      Exit(0);
    end;
    if (GWakeMessage <> 0) and (Msg = GWakeMessage) then
    begin
      J('wakeAnswer').Int('code', wParam).Int('window', lParam).Put;
      GWakeAnswered := True;
      Exit(0);
    end;
  except
    on E: Exception do
    begin
      { A session step that failed ends the session: the record shows where. }
      J('failure').Str('where', 'DriverProc').Int('step', GStep).Str('message', AnsiString(E.Message)).Put;
      KillTimer(GDriver, 1);
      PostMessageW(GMainForm, WM_CLOSE, 0, 0);
      Exit(0);
    end;
  end;
  Result := DefWindowProcW(Wnd, Msg, wParam, lParam);
end;

procedure RegisterClasses;
const
  Done: Boolean = False;
var
  Wc: TWndClassW;
begin
  if Done then
    Exit;
  Done := True;
  FillChar(Wc, SizeOf(Wc), 0);
  Wc.hInstance := HInstance;
  Wc.lpfnWndProc := @FormProc;
  Wc.lpszClassName := 'TProbeForm';
  RegisterClassW(Wc);
  Wc.lpfnWndProc := @PageProc;
  Wc.lpszClassName := 'TProbePage';
  RegisterClassW(Wc);
  Wc.lpfnWndProc := @DriverProc;
  Wc.lpszClassName := 'TProbeDriver';
  RegisterClassW(Wc);
end;

{ A form with its page window; the page is the form's WebID. }
function NewForm: HWND;
var
  Page: HWND;
begin
  RegisterClasses;
  Result := CreateWindowExW(0, 'TProbeForm', 'ProbeFramework', WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, 0, 0,
    HInstance, nil);
  Page := CreateWindowExW(0, 'TProbePage', '', WS_CHILD or WS_VISIBLE, 0, 0, 800, 600, Result, 0,
    HInstance, nil);
  SetWindowLongPtrW(Result, GWLP_USERDATA, LONG_PTR(Page));
end;

{ ---- page session ------------------------------------------------------------------------------ }

{ Raises one page event on the main form and records how the client left the context. }
function Fire(EventType, CallerNo: Integer; const Name, Param: AnsiString; HasParam: Boolean;
  const PresetUrl: AnsiString): AnsiString;
var
  Ctx: TProbeContext;
  Intf: IAppContext;
begin
  Ctx := TProbeContext.Create(CallerNo, Integer(GMainPage), Name);
  Intf := Ctx;
  if HasParam then
    Ctx.FParamsObj.AddStrParam(4, PAnsiChar(Param));
  if PresetUrl <> '' then
    Ctx.FValuesObj.SetValue('URL', PAnsiChar(PresetUrl));
  J('event').Int('type', EventType).Ansi('name', PAnsiChar(Name)).Int('callerNo', CallerNo).Put;
  TWebBrowserEventCode(GEvent.Code)(GEvent.Data, Pointer(GMainForm), GUserContext, EventType,
    PAnsiChar(Name), Intf);
  Result := Ctx.FParamsObj.FResult;
  J('eventDone').Int('type', EventType).Ansi('name', PAnsiChar(Name)).Int('callerNo', CallerNo)
    .Bool('resultSet', Ctx.FParamsObj.FResultSet).Ansi('result', PAnsiChar(Result))
    .Hex('resultHex', PAnsiChar(Result), Length(Result)).Raw('values', Ctx.FValuesObj.Json).Put;
end;

procedure Next;
begin
  Inc(GStep);
  GStepTick := GetTickCount64;
end;

procedure Step;
var
  Fg: HWND;
begin
  case GStep of
    0: Fire(kEventPageLoaded, 0, '', '', False, '');
    1: Fire(kEventPopup, 0, '', '', False, kPopupUrl);
    2: GEncAnswer := Fire(kEventPageCall, 0, 'sys.Enc', WideToAnsi(kEncText), True, '');
    3: Fire(kEventPageCall, 7, 'sys.Dec', GEncAnswer, True, '');
    4: Fire(kEventPageCall, 8, 'sys.A2', kSignRequest, True, '');
    5: Fire(kEventPageCall, 0, 'probe.Echo', 'echo', True, '');
    6:
      begin
        { Another instance announces itself (code 2, its window) to the application window,
          while a window other than the main one is in front. }
        if (GAppId <> '') and (GAppWindow <> 0) then
        begin
          GWakeMessage := RegisterWindowMessageA(PAnsiChar(GAppId));
          ShowWindow(GDriver, SW_SHOW);
          SetForegroundWindow(GDriver);
          Fg := GetForegroundWindow;
          J('wakeRequest').Int('message', GWakeMessage).Int('window', GDriver).Int('appWindow', GAppWindow)
            .Bool('mainInFront', Fg = GMainForm).Put;
          PostMessageW(GAppWindow, GWakeMessage, 2, LPARAM(GDriver));
        end;
      end;
    7:
      begin
        if not (GAnswered7 and GAnswered8 and GWakeAnswered) and
          (GetTickCount64 - GStepTick < kPatienceMs) then
          Exit;
        J('closing').Bool('answered7', GAnswered7).Bool('answered8', GAnswered8)
          .Bool('wakeAnswered', GWakeAnswered).Put;
        KillTimer(GDriver, 1);
        PostMessageW(GMainForm, WM_CLOSE, 0, 0);
      end;
  else
    Exit;
  end;
  Next;
end;

{ ---- exports ----------------------------------------------------------------------------------- }

function InitWebCore(appHD: THandle; bIsMainForm: Boolean; AMainInstance: THandle;
  sMainFestContent: PAnsiChar): Boolean; stdcall;
var
  S: AnsiString;
  I, K: Integer;
begin
  J('initWebCore').Int('appHD', appHD).Bool('isMainForm', bIsMainForm).Int('isMainFormSlot', SlotOf(bIsMainForm))
    .Int('mainInstance', AMainInstance).Ansi('mainFest', sMainFestContent).Put;
  GAppWindow := appHD;
  { The instance name: the manifest's "AppID". }
  S := Text(sMainFestContent);
  I := Pos('"AppID"', S);
  if I > 0 then
  begin
    I := I + 7;
    while (I <= Length(S)) and (S[I] in [' ', ':', '"']) do
      Inc(I);
    K := I;
    while (K <= Length(S)) and (S[K] <> '"') do
      Inc(K);
    GAppId := Copy(S, I, K - I);
  end;
  Result := True;
end;

function InitApplication(appHandle: THandle; aMainInstance: THandle): THandle; stdcall;
begin
  J('initApplication').Int('appHandle', appHandle).Int('mainInstance', aMainInstance).Put;
  Result := appHandle;
end;

function InitMainForm(bNeedShowMain: Boolean; userContext: Pointer; aWebBrowserEvent: TMethodRec;
  sParams: PAnsiChar): THandle; stdcall;
begin
  GMainForm := NewForm;
  GMainPage := GetWindowLongPtrW(GMainForm, GWLP_USERDATA);
  GEvent := aWebBrowserEvent;
  GUserContext := userContext;
  J('initMainForm').Bool('show', bNeedShowMain).Int('showSlot', SlotOf(bNeedShowMain))
    .Int('userContext', PtrUInt(userContext)).Int('code', PtrUInt(aWebBrowserEvent.Code))
    .Int('data', PtrUInt(aWebBrowserEvent.Data)).Ansi('params', sParams).Int('form', GMainForm)
    .Int('page', GMainPage).Put;
  if bNeedShowMain then
    ShowWindow(GMainForm, SW_SHOW);
  Result := GMainForm;
end;

procedure AppRun; stdcall;
var
  Msg: TMsg;
begin
  J('appRun').Bool('mainForm', GMainForm <> 0).Put;
  if GMainForm = 0 then
    Exit;
  GDriver := CreateWindowExW(WS_EX_TOOLWINDOW, 'TProbeDriver', 'ProbeDriver', WS_POPUP, 0, 0, 10, 10, 0, 0,
    HInstance, nil);
  GLoopRunning := True;
  SetTimer(GDriver, 1, 30, nil);
  while Integer(GetMessageW(Msg, 0, 0, 0)) > 0 do
  begin
    TranslateMessage(Msg);
    DispatchMessageW(Msg);
  end;
  GLoopRunning := False;
  J('appRunEnd').Put;
end;

procedure AppTerminate; stdcall;
begin
  J('appTerminate').Bool('loopRunning', GLoopRunning).Put;
  if GLoopRunning then
    PostQuitMessage(0);
end;

function GetMainHandle: THandle; stdcall;
begin
  Result := GMainForm;
end;

function GetWebCoreForm(hParentHD: THandle; userContext: Pointer; bUseIE: Boolean; sUrl: PAnsiChar;
  aWebBrowserEvent: TMethodRec; iControlParams: IControlParamsInf): THandle; stdcall;
begin
  Result := NewForm;
  J('webForm').Int('form', Result).Int('parent', hParentHD).Int('userContext', PtrUInt(userContext))
    .Bool('useIE', bUseIE).Int('useIESlot', SlotOf(bUseIE)).Ansi('url', sUrl)
    .Int('code', PtrUInt(aWebBrowserEvent.Code)).Int('data', PtrUInt(aWebBrowserEvent.Data))
    .Bool('controlParams', iControlParams <> nil).Put;
end;

function FormShowModal(userContext: Pointer; bUseIE: Boolean; sUrl: PAnsiChar; aWebBrowserEvent: TMethodRec;
  aAppContext: IAppContext): Integer; stdcall;
var
  R: TJ;
begin
  R := J('formShowModal').Int('userContext', PtrUInt(userContext)).Bool('useIE', bUseIE)
    .Int('useIESlot', SlotOf(bUseIE)).Ansi('url', sUrl).Int('code', PtrUInt(aWebBrowserEvent.Code))
    .Int('data', PtrUInt(aWebBrowserEvent.Data)).Bool('context', aAppContext <> nil);
  if aAppContext <> nil then
    R := R.Int('contextCallerNo', aAppContext.CallerNo).Int('contextWebId', aAppContext.WebID);
  R.Put;
  { The form's page loads: one event through the handler the caller gave. }
  if aWebBrowserEvent.Code <> nil then
    TWebBrowserEventCode(aWebBrowserEvent.Code)(aWebBrowserEvent.Data, nil, userContext, kEventPageLoaded,
      'probe.modal', aAppContext);
  Result := 5;
end;

{ The values the probe's store knows; anything else answers false with "BAD" in the buffer. }
function KnownParam(const CfgType, Section, Key: AnsiString; out Value: AnsiString): Boolean;
begin
  Result := True;
  if (CfgType = 'AppFrame') and (Section = 'System') and (Key = 'PopForm') then
    Value := kPopFormUrl
  else if (CfgType = 'Probe') and (Section = 'Text') and (Key = 'Chinese') then
    Value := WideToAnsi('值：中文')
  else
    Result := False;
end;

function GetControlParams(pCfgType, pSession, pKey, pDef, pRetValue: PAnsiChar): TPasBoolEAX; stdcall;
var
  Value: AnsiString;
  Known: Boolean;
begin
  Known := KnownParam(Text(pCfgType), Text(pSession), Text(pKey), Value);
  J('getControlParams').Ansi('cfgType', pCfgType).Ansi('section', pSession).Ansi('key', pKey)
    .Ansi('def', pDef).Bool('buffer', pRetValue <> nil).Bool('known', Known).Put;
  if pRetValue = nil then
    Exit(kFalseEAX);
  if not Known then
    Value := 'BAD';
  StrPCopy(pRetValue, Value);
  Result := PasBool(Known);
end;

function SetControlParams(pCfgType, pSession, pKey, pValue: PAnsiChar): TPasBoolEAX; stdcall;
begin
  J('setControlParams').Ansi('cfgType', pCfgType).Ansi('section', pSession).Ansi('key', pKey)
    .Ansi('value', pValue).Put;
  Result := PasBool(Same(pKey, 'Writable'));
end;

procedure GetCallerParamInf(out Result: IControlParamsInf); stdcall;
begin
  J('getCallerParamInf').Put;
  Result := GControlParams;
end;

procedure GetAppContext(out Result: IAppContext); stdcall;
begin
  J('getAppContext').Int('thread', GetCurrentThreadId).Put;
  Result := TProbeContext.Create(0, 0, '');
end;

procedure WriteLog(sMsg: PAnsiChar); stdcall;
begin
  J('log').Ansi('text', sMsg).Put;
end;

function UpdateApp(pEntryNames: PAnsiChar; aInstallType: Integer): TPasBoolEAX; stdcall;
begin
  J('updateApp').Ansi('entries', pEntryNames).Int('installType', aInstallType).Put;
  Result := PasBool(Same(pEntryNames, 'probeEntry'));
end;

function UrlRequest(sUrl: AnsiString; iTimeOut: Cardinal; var sRetData: AnsiString): TPasBoolEAX; stdcall;
begin
  J('urlRequest').Ansi('url', PAnsiChar(sUrl)).Raw('urlHeader', '{' + StrHeader(Pointer(sUrl)) + '}')
    .Int('timeout', iTimeOut).Bool('retDataNil', Pointer(sRetData) = nil).Put;
  if sUrl = 'http://probe.example/ok' then
  begin
    sRetData := WideToAnsi('应答：') + sUrl;
    Result := kTrueEAX;
  end
  else
    Result := kFalseEAX;
end;

function RegContext(sContextName: PAnsiChar; pContent: Pointer): Boolean; stdcall;
var
  N: Integer;
begin
  J('regContext').Ansi('name', sContextName).Bool('content', pContent <> nil).Put;
  N := Length(GContextNames);
  SetLength(GContextNames, N + 1);
  SetLength(GContextPointers, N + 1);
  GContextNames[N] := Text(sContextName);
  GContextPointers[N] := pContent;
  Result := True;
end;

function FindContext(sContextName: PAnsiChar): Integer;
begin
  for Result := High(GContextNames) downto 0 do
    if GContextNames[Result] = Text(sContextName) then
      Exit;
  Result := -1;
end;

function UnRegContext(sContextName: PAnsiChar; pContent: Pointer): TPasBoolEAX; stdcall;
var
  I: Integer;
begin
  I := FindContext(sContextName);
  J('unRegContext').Ansi('name', sContextName).Bool('found', I >= 0).Put;
  if (I < 0) or (GContextPointers[I] <> pContent) then
    Exit(kFalseEAX);
  GContextNames[I] := '';
  GContextPointers[I] := nil;
  Result := kTrueEAX;
end;

function GetContext(sContextName: PAnsiChar): Pointer; stdcall;
var
  I: Integer;
begin
  I := FindContext(sContextName);
  if I < 0 then
    Result := nil
  else
    Result := GContextPointers[I];
  J('getContext').Ansi('name', sContextName).Bool('found', Result <> nil).Put;
end;

function CallRegisterFun(aFunName: PAnsiChar; aParams: IJsCallerInf): TPasBoolEAX; stdcall;
var
  R: TJ;
begin
  R := J('callRegisterFun').Ansi('name', aFunName).Bool('list', aParams <> nil);
  if aParams <> nil then
    R := R.Int('count', aParams.ParamCount).Ansi('params', aParams.ParamText);
  R.Put;
  Result := PasBool(Same(aFunName, 'probeFun'));
end;

exports
  InitWebCore, InitApplication, InitMainForm, AppRun, AppTerminate, GetMainHandle, GetWebCoreForm,
  FormShowModal, GetControlParams, SetControlParams, GetCallerParamInf, GetAppContext, WriteLog, UpdateApp,
  UrlRequest, RegContext, UnRegContext, GetContext, CallRegisterFun;

begin
  IsMultiThread := True; { the client's worker threads call into this library }
  OpenRecord(HInstance, 'ProbeFramework.jsonl');
  GControlParams := TProbeControlParams.Create;
  J('loaded').Int('acp', GetACP).Put;
end.
