{ Conformance probe for the IAppFramework contract, built with Free Pascal as an extension module:
  the manifest names ModuleInit, which the client calls with its IAppFramework. It calls every
  operation of the interface with the argument kinds the declarations allow, checks each answer
  against what the declarations promise and records every check (and the answers that only the
  test can judge, such as JSON texts) as JSON lines in ProbeModule.jsonl beside itself. It also
  installs the two hooks and records what the client later passes to them.

  Run together with the framework probe (ProbeFramework.lpr), whose answers it expects: the main
  form's class, the control-parameter values, the UrlRequest answer, the modal result. }
library ProbeModule;

{$mode delphi}{$H+}{$codepage utf8}

uses
  Windows, SysUtils, ProbeIntf, ProbeRecord;

type
  { A window control as a module has it: its window handle or an object of the component runtime,
    which the client never reads. }
  TWinControlRef = Pointer;

  { A caller-parameter record. ParamValue's Variant result is declared as its 16-byte layout so
    that this probe clears it before the call and frees what it receives itself. }
  ICallerParam = interface(IUnknown)
    ['{74E8915D-EC56-4E33-8DA3-5390BCA1A446}']
    procedure FunName(out Result: WideString); stdcall;
    function webId: Integer; stdcall;
    function CallerID: Integer; stdcall;
    function Count: Integer; stdcall;
    function ParamType(idx: Integer): Integer; stdcall;
    procedure ParamValue(idx: Integer; out Result: TVarData); stdcall;
  end;

  ICallJSInf = interface(IUnknown)
    ['{BEF5CDEB-B8C4-4F19-BAB3-0684E433FA2B}']
    function CallJsFunctionArgs(WebID, iCallerNo: Integer; arrParams: PClassicVarRec;
      arrParamsHigh: Integer): Boolean; stdcall;
    function CallJsFunctionText(WebID, iCallerNo: Integer; sRetParamData: PAnsiChar): Boolean; stdcall;
    function CallJsFunctionParam(CallerParam: ICallerParam; arrParams: PClassicVarRec;
      arrParamsHigh: Integer): Boolean; stdcall;
    function CallJsFunctionContext(CallerParam: IAppContext; arrParams: PClassicVarRec;
      arrParamsHigh: Integer): Boolean; stdcall;
    procedure getCallerParams(sParams: WideString; out Result: ICallerParam); stdcall;
    function CallRegisterFun(sFunName: PAnsiChar; arrParams: PClassicVarRec;
      arrParamsHigh: Integer): Boolean; stdcall;
    function TranParamToJsCallerInf(Args: PClassicVarRec; ArgsHigh: Integer;
      aParams: IJsCallerInf): Boolean; stdcall;
  end;

  IRegAppContext = interface(IUnknown)
    ['{C0ED6B45-CA50-4C94-96B6-4E5301BA15E2}']
    function RegContext(sContextName: PAnsiChar; pContent: Pointer): Boolean; stdcall;
    function UnRegContext(sContextName: PAnsiChar; pContent: Pointer): Boolean; stdcall;
    function GetContext(sContextName: PAnsiChar): Pointer; stdcall;
  end;

  IWebCoreControlInf = interface(IUnknown)
    ['{7A0B0268-EC38-4B3C-B208-E73925A9C872}']
    function Instance: TWinControlRef; stdcall;
    function GetWebID: Integer; stdcall;
    procedure GetsUrl(out Result: AnsiString); stdcall;
    procedure GetOnWebBrowserEvent(out Result: TMethodRec); stdcall;
    procedure SetOnWebBrowserEvent(Value: TMethodRec); stdcall;
    procedure SetsUrl(Value: PAnsiChar); stdcall;
    function ExecuteJavaScript(WebID: Integer; sScript: PAnsiChar): Boolean; stdcall;
  end;

  IAppFramework = interface(IUnknown)
    ['{A7E85B39-2C7A-4E57-9109-A7BFBD88B39C}']
    function GetMainHandle: THandle; stdcall;
    function GetMainWebID: Integer; stdcall;
    function GetWebID(aWebCtrl: TWinControlRef): Integer; stdcall;
    procedure CallJS(out Result: ICallJSInf); stdcall;
    procedure GetWebControl(aParentObj: TWinControlRef; userContext: Pointer; aUseIE: Boolean; sUrl: PAnsiChar;
      aEvent: TMethodRec; sParams: PAnsiChar; out Result: IWebCoreControlInf); stdcall;
    function FormShowModal(userContext: Pointer; bUseIE: Boolean; sUrl: PAnsiChar;
      aWebBrowserEvent: TMethodRec; aAppContext: IAppContext): Integer; stdcall;
    function ExecuteJavaScript(WebID: Integer; sScript: PAnsiChar): Boolean; stdcall;
    function ExecuteJavaScriptCtrl(aWebCtrl: TWinControlRef; sScript: PAnsiChar): Boolean; stdcall;
    function Call(aWebCtrl: TWinControlRef; Method: PAnsiChar; Args: PClassicVarRec;
      ArgsHigh: Integer): Boolean; stdcall;
    procedure RegAppContext(out Result: IRegAppContext); stdcall;
    procedure PackFunParams(Args: PClassicVarRec; ArgsHigh: Integer; out Result: WideString); stdcall;
    procedure GetControlParams(pCfgType, pSession, pKey, pDef: PAnsiChar; out Result: AnsiString); stdcall;
    function SetControlParams(pCfgType, pSession, pKey, pValue: PAnsiChar): Boolean; stdcall;
    procedure GetCallerParamInf(out Result: IControlParamsInf); stdcall;
    procedure GetAppContext(out Result: IAppContext); stdcall;
    procedure WriteLog(sMsg: PAnsiChar; Args: PClassicVarRec; ArgsHigh: Integer); stdcall;
    function UpdateApp(pEntryNames: PAnsiChar; aInstallType: Integer): Boolean; stdcall;
    function UrlRequest(sUrl: AnsiString; iTimeOut: Cardinal; var sRetData: AnsiString): Boolean; stdcall;
    function GetApplication: THandle; stdcall;
    procedure AppTerminate; stdcall;
    procedure SetOnMainBrowserEvent(aOnMainBrowserEvent: Pointer); stdcall;
    procedure SetOnAppWakeUp(aOnAppWakeUp: TMethodRec); stdcall;
  end;

  TClassicArgs = array of TClassicVarRec;

  { The object behind this module's method pointers. }
  TProbeModule = class
  end;

  { A page call's context as a page would hand it over: only the caller number and the page. Its
    unused slot is a failed check here. }
  TProbeCallContext = class(TCallContext)
  protected
    function Unused(Slot: Integer): Integer; override;
  end;

procedure SysFreeString(bstr: PWideChar); stdcall; external 'oleaut32.dll';

var
  GModule: TProbeModule;
  GChecks, GFailed: Integer;
  GWebID: Integer;
  GSubBrowser: TObject; { the runtime object of a sub-browser window }
  GUnreadable: Pointer; { memory that faults when read }
  GMarker, GModalMarker: Integer;
  GModalSelf, GModalUser: Pointer;
  GModalType, GModalCallerNo: Integer;
  GModalName: AnsiString;

  { The values of the open lists: one of each kind the contract passes. }
  VInt: Integer = -42;
  VTrue: Boolean = True;
  VFalse: Boolean = False;
  VChar: AnsiChar = 'A';
  VExt: Extended = 1.5;
  VShort: ShortString = 'short';
  VPChar: PAnsiChar;
  VWChar: WideChar = #$4E2D; { 中 }
  VPWChar: PWideChar;
  VAnsi: AnsiString;
  VCur: Currency = 12.5;
  VWide: WideString;
  VI64: Int64 = 12345678901;
  VUni: UnicodeString;
  VNil: Pointer = nil;
  VPCharText: AnsiString;
  VPWCharText: UnicodeString;

const
  { What the full list renders as: kind codes and values, and the script call text. }
  kFullTypes = '[0,1,1,4,3,4,4,4,4,4,3,4,0,4,4]';
  kFullValuesAsList: UnicodeString =
    '[-42,true,false,"A",1.5,"short","pchar中","中","宽字","ansi中文",12.5,"wide中文",12345678901,"uni中文","null"]';

{ ---- records ----------------------------------------------------------------------------------- }

procedure Check(const Name: AnsiString; Ok: Boolean; const Got: AnsiString = ''; const Want: AnsiString = '');
begin
  Inc(GChecks);
  if not Ok then
    Inc(GFailed);
  J('check').Str('name', Name).Bool('ok', Ok).Str('got', Got).Str('want', Want).Put;
end;

{ An object the client hands out: there, or a failed check. }
function Present(const Name: AnsiString; const Obj: IUnknown): Boolean;
begin
  Result := Obj <> nil;
  Check(Name, Result);
end;

procedure Fail(const Name: AnsiString; E: Exception);
begin
  Check(Name, False, AnsiString(E.ClassName + ': ' + E.Message), 'no failure');
end;

function U(const W: UnicodeString): AnsiString;
begin
  Result := WideToUtf8(PWideChar(W), Length(W));
end;

function N(V: Int64): AnsiString;
begin
  Result := AnsiString(IntToStr(V));
end;

function ClassOf(Wnd: THandle): AnsiString;
var
  Buf: array[0..255] of WideChar;
  L: Integer;
begin
  L := GetClassNameW(HWND(Wnd), Buf, 256);
  Result := WideToUtf8(Buf, L);
end;

{ A counted 8-bit string received from the client: the expected bytes, and the layout of a
  constant (element size 1, reference count -1, the length in bytes, zero-terminated). }
procedure CheckAnsi(const Name: AnsiString; const Got, Want: AnsiString);
var
  P: PByte;
  Ok: Boolean;
  Header: AnsiString;
begin
  Ok := (Length(Got) = Length(Want)) and ((Want = '') or CompareMem(Pointer(Got), Pointer(Want), Length(Want)));
  Header := '';
  if Pointer(Got) <> nil then
  begin
    P := PByte(Pointer(Got)) - 12;
    Header := AnsiString(Format(' [codePage %d, elemSize %d, refCount %d, length %d, strlen %d]',
      [PWord(P)^, PWord(P + 2)^, PLongInt(P + 4)^, PLongInt(P + 8)^, StrLen(PAnsiChar(Got))]));
    Ok := Ok and (PWord(P + 2)^ = 1) and (PLongInt(P + 4)^ = -1) and
      (PLongInt(P + 8)^ = LongInt(StrLen(PAnsiChar(Got))));
  end;
  Check(Name, Ok, AnsiToUtf8Text(PAnsiChar(Got)) + Header, AnsiToUtf8Text(PAnsiChar(Want)));
end;

{ A wide string received from the client: the expected characters in a system string whose
  length prefix agrees with its zero terminator. }
procedure CheckWide(const Name: AnsiString; const Got: WideString; const Want: UnicodeString);
var
  Ok: Boolean;
  Bytes: LongWord;
begin
  Bytes := 0;
  if Pointer(Got) <> nil then
    Bytes := PLongWord(PByte(Pointer(Got)) - 4)^;
  Ok := (UnicodeString(Got) = Want) and (Bytes = LongWord(2 * lstrlenW(PWideChar(Got))));
  Check(Name, Ok, U(Got) + ' [' + N(Bytes) + ' bytes]', U(Want));
end;

{ ---- open lists -------------------------------------------------------------------------------- }

{ The classic layout of an `array of const`. Boolean, character and wide character values get
  garbage in the bytes above their own, and the three filler bytes are garbage too: the client
  must read each value by its size and the kind from its one byte. }
function ProbeArgs(const A: array of const): TClassicArgs;
var
  I: Integer;
  V: LongWord;
  K: Byte;
begin
  Result := nil;
  SetLength(Result, Length(A));
  for I := 0 to High(A) do
  begin
    case A[I].VType of
      vtInteger: begin V := LongWord(A[I].VInteger); K := 0; end;
      vtBoolean: begin V := Ord(A[I].VBoolean) or $5A5A5A00; K := 1; end;
      vtChar: begin V := Ord(A[I].VChar) or $A5A5A500; K := 2; end;
      vtExtended: begin V := LongWord(A[I].VExtended); K := 3; end;
      vtString: begin V := LongWord(A[I].VString); K := 4; end;
      vtPointer: begin V := LongWord(A[I].VPointer); K := 5; end;
      vtPChar: begin V := LongWord(A[I].VPChar); K := 6; end;
      vtWideChar: begin V := Ord(A[I].VWideChar) or $5A5A0000; K := 9; end;
      vtPWideChar: begin V := LongWord(A[I].VPWideChar); K := 10; end;
      vtAnsiString: begin V := LongWord(A[I].VAnsiString); K := 11; end;
      vtCurrency: begin V := LongWord(A[I].VCurrency); K := 12; end;
      vtWideString: begin V := LongWord(A[I].VWideString); K := 15; end;
      vtInt64: begin V := LongWord(A[I].VInt64); K := 16; end;
      vtUnicodeString: begin V := LongWord(A[I].VUnicodeString); K := 17; end;
    else
      raise Exception.CreateFmt('kind %d has no classic counterpart here', [A[I].VType]);
    end;
    Result[I].Value := V;
    Result[I].VType := K;
    Result[I].Filler[0] := $CC;
    Result[I].Filler[1] := $CC;
    Result[I].Filler[2] := $CC;
  end;
end;

{ Every kind, in kind order, with a false Boolean and an empty pointer. }
function FullArgs: TClassicArgs;
begin
  Result := ProbeArgs([VInt, VTrue, VFalse, VChar, VExt, VShort, VPChar, VWChar, VPWChar, VAnsi, VCur, VWide,
    VI64, VUni, VNil]);
  { The pointer kinds must point at the values themselves, which outlive this function. }
  if (Pointer(Result[4].Value) <> @VExt) or (Pointer(Result[5].Value) <> @VShort) or
    (Pointer(Result[10].Value) <> @VCur) or (Pointer(Result[12].Value) <> @VI64) then
    raise Exception.Create('open list does not point at the values');
end;

{ Every kind that formats with %s, %d, %g or %f. }
function LogArgs: TClassicArgs;
begin
  Result := ProbeArgs([VInt, VChar, VExt, VShort, VPChar, VWChar, VPWChar, VAnsi, VCur, VWide, VI64, VUni]);
end;

function ShortArgs: TClassicArgs;
begin
  Result := ProbeArgs([VInt, VUni]);
end;

{ ---- windows of the module's own ------------------------------------------------------------- }

{ Windows of the module's classes ('TfrmSubBrowser', 'TPanel', 'TForm') all answer the page-window
  query with the main page, and only when asked with their own handle, as the library's sub-browser
  form does: the client must ask only the sub-browser. }
function ControlProc(Wnd: HWND; Msg: UINT; W: WPARAM; L: LPARAM): LRESULT; stdcall;
begin
  if Msg = kMsgGetWebID then
  begin
    if (W = 1) and (L = LPARAM(Wnd)) then
      Exit(GWebID);
    Exit(-1);
  end;
  Result := DefWindowProcW(Wnd, Msg, W, L);
end;

function NewWindow(const AClass: UnicodeString): HWND;
var
  Wc: TWndClassW;
begin
  FillChar(Wc, SizeOf(Wc), 0);
  Wc.hInstance := HInstance;
  Wc.lpfnWndProc := @ControlProc;
  Wc.lpszClassName := PWideChar(AClass);
  RegisterClassW(Wc);
  Result := CreateWindowExW(0, PWideChar(AClass), 'ProbeModule', WS_POPUP, 0, 0, 400, 300, 0, 0, HInstance,
    nil);
end;

{ What the component runtime puts on every window it makes: the control object, under its two
  atoms. }
procedure MarkAsRuntimeControl(Wnd: HWND; Obj: TObject);
var
  WindowAtom, ControlAtom: ATOM;
begin
  WindowAtom := GlobalAddAtomW(PWideChar(UnicodeString(Format('Delphi%.8X', [GetCurrentProcessId]))));
  ControlAtom := GlobalAddAtomW(PWideChar(UnicodeString(Format('ControlOfs%.8X%.8X',
    [PtrUInt(HInstance), GetCurrentThreadId]))));
  SetPropW(Wnd, PWideChar(PtrUInt(WindowAtom)), THandle(Obj));
  SetPropW(Wnd, PWideChar(PtrUInt(ControlAtom)), THandle(Obj));
end;

{ ---- TProbeCallContext ------------------------------------------------------------------------- }

function TProbeCallContext.Unused(Slot: Integer): Integer;
begin
  Check(Intf + ' placeholder ' + N(Slot) + ' not called', False);
  Result := 0;
end;

{ ---- callbacks --------------------------------------------------------------------------------- }

{ The page-event handler handed to FormShowModal and GetWebControl (an object method). }
procedure ModalEvent(Self, Sender, UserContext: Pointer; iEventType: Integer; sEventName: PAnsiChar;
  aAppContext: IAppContext); stdcall;
begin
  GModalSelf := Self;
  GModalUser := UserContext;
  GModalType := iEventType;
  GModalName := AnsiString(sEventName);
  if aAppContext <> nil then
    GModalCallerNo := aAppContext.CallerNo;
  J('modalEvent').Bool('selfIsModule', Self = Pointer(GModule)).Int('type', iEventType)
    .Ansi('name', sEventName).Put;
end;

{ The main-browser-event hook: sees every main-window event before the host; takes none over. }
procedure MainBrowserHook(Sender, userContext: Pointer; iEventType: Integer; sEventName: PAnsiChar;
  aAppContext: IAppContext; var Handled: Boolean); stdcall;
var
  CallerNo: Integer;
begin
  CallerNo := -1;
  if aAppContext <> nil then
    CallerNo := aAppContext.CallerNo;
  J('hook').Int('type', iEventType).Ansi('name', sEventName).Int('callerNo', CallerNo)
    .Int('handledIn', PByte(@Handled)^).Put;
end;

{ The wake-up hook (an object method): answers false, with the rest of EAX set, so the host goes
  on with its own handling. }
function WakeUpCode(Self: Pointer; iMessageID: Integer; CallerHD: THandle; iFlag: Integer;
  iMainHD: THandle): TPasBoolEAX; stdcall;
begin
  J('wakeUp').Bool('selfIsModule', Self = Pointer(GModule)).Int('messageId', iMessageID)
    .Int('callerHD', CallerHD).Int('flag', iFlag).Int('mainHD', iMainHD).Put;
  Result := kFalseEAX;
end;

function Method(Code, Data: Pointer): TMethodRec;
begin
  Result.Code := Code;
  Result.Data := Data;
end;

{ ---- the checks -------------------------------------------------------------------------------- }

procedure CheckWindows(const Fw: IAppFramework);
var
  Main, App: THandle;
  Sub, Panel: HWND;
begin
  Main := Fw.GetMainHandle;
  Check('GetMainHandle', ClassOf(Main) = 'TProbeForm', ClassOf(Main), 'TProbeForm');
  GWebID := Fw.GetMainWebID;
  Check('GetMainWebID', (ClassOf(GWebID) = 'TProbePage') and (GetParent(HWND(GWebID)) = HWND(Main)),
    ClassOf(GWebID), 'TProbePage');
  Check('GetWebID of nil', Fw.GetWebID(nil) = 0, N(Fw.GetWebID(nil)), '0');
  Sub := NewWindow('TfrmSubBrowser');
  Check('GetWebID of a sub-browser window', Fw.GetWebID(Pointer(Sub)) = GWebID, N(Fw.GetWebID(Pointer(Sub))),
    N(GWebID));
  GSubBrowser := TObject.Create;
  MarkAsRuntimeControl(Sub, GSubBrowser);
  Check('GetWebID of a sub-browser object', Fw.GetWebID(GSubBrowser) = GWebID, N(Fw.GetWebID(GSubBrowser)),
    N(GWebID));
  Panel := NewWindow('TPanel');
  Check('GetWebID of another control', Fw.GetWebID(Pointer(Panel)) = 0, N(Fw.GetWebID(Pointer(Panel))), '0');
  Check('GetWebID of an object without a window', Fw.GetWebID(GModule) = 0);
  Check('GetWebID of an unreadable pointer', Fw.GetWebID(GUnreadable) = 0);
  App := Fw.GetApplication;
  J('value').Str('name', 'GetApplication').Int('handle', App).Put;
  Check('GetApplication', IsWindow(HWND(App)), N(App));
end;

procedure CheckScripts(const Fw: IAppFramework);
var
  Page: TWinControlRef;
  A: TClassicArgs;
begin
  Page := GSubBrowser;
  Check('ExecuteJavaScript by WebID',
    Fw.ExecuteJavaScript(GWebID, PAnsiChar(WideToAnsi('probe.byId("中")'))));
  Check('ExecuteJavaScript by WebID 0', not Fw.ExecuteJavaScript(0, 'probe.never()'));
  Check('ExecuteJavaScript by control', Fw.ExecuteJavaScriptCtrl(Page, 'probe.byControl()'));
  A := FullArgs;
  Check('Call', Fw.Call(Page, 'probeCall', @A[0], High(A)));
end;

procedure CheckContexts(const Fw: IAppFramework);
var
  Reg: IRegAppContext;
begin
  Fw.RegAppContext(Reg);
  if not Present('RegAppContext', Reg) then
    Exit;
  Check('RegContext', Reg.RegContext('ProbeContext', @GMarker));
  Check('GetContext of ours', Reg.GetContext('ProbeContext') = @GMarker);
  Check('GetContext QeltContext', Reg.GetContext('QeltContext') <> nil);
  Check('UnRegContext', Reg.UnRegContext('ProbeContext', @GMarker));
  Check('UnRegContext again is false', not Reg.UnRegContext('ProbeContext', @GMarker));
  Check('GetContext after UnRegContext', Reg.GetContext('ProbeContext') = nil);
end;

procedure CheckTexts(const Fw: IAppFramework);
var
  A: TClassicArgs;
  W: WideString;
  S: AnsiString;
begin
  A := FullArgs;
  Fw.PackFunParams(@A[0], High(A), W);
  CheckWide('PackFunParams is a system string', W, UnicodeString(W));
  J('value').Str('name', 'PackFunParams').Str('text', U(W)).Put;
  Fw.PackFunParams(nil, -1, W);
  J('value').Str('name', 'PackFunParams empty').Str('text', U(W)).Put;

  A := LogArgs;
  Fw.WriteLog(PAnsiChar(WideToAnsi('探针 %d|%s|%g|%s|%s|%s|%s|%s|%.2f|%s|%d|%s')), @A[0], High(A));

  Fw.GetControlParams('Probe', 'Text', 'Chinese', 'def', S);
  CheckAnsi('GetControlParams', S, WideToAnsi('值：中文'));
  Fw.GetControlParams('Probe', 'Text', 'Missing', 'def', S);
  CheckAnsi('GetControlParams answered false', S, '');
  Check('SetControlParams', Fw.SetControlParams('Probe', 'Text', 'Writable', 'v'));
  Check('SetControlParams answered false', not Fw.SetControlParams('Probe', 'Text', 'ReadOnly', 'v'));
  Check('UpdateApp', Fw.UpdateApp('probeEntry', 3));
  Check('UpdateApp answered false', not Fw.UpdateApp('noSuchEntry', 3));

  S := 'before';
  Check('UrlRequest', Fw.UrlRequest('http://probe.example/ok', 1000, S));
  CheckAnsi('UrlRequest answer', S, WideToAnsi('应答：') + 'http://probe.example/ok');
  S := 'before';
  Check('UrlRequest answered false', not Fw.UrlRequest('http://probe.example/none', 1000, S));
end;

procedure CheckCallerParam(const Js: ICallJSInf);
var
  Json: WideString;
  Cp: ICallerParam;
  F: WideString;
  V: TVarData;
  I: Integer;
  A: TClassicArgs;
  Ctx: IAppContext;
const
  Types: array[0..4] of Integer = (0, 1, 3, 4, 2);

  { Each variant is cleared before the call; a text variant owns a system string we free. }
  function ValueAt(Index: Integer): TVarData;
  begin
    FillChar(Result, SizeOf(Result), 0);
    Cp.ParamValue(Index, Result);
  end;

begin
  Json := '{"CallerNo":903,"WebID":' + UnicodeString(IntToStr(GWebID)) +
    ',"FunName":"probe.参数","paramTypes":[0,1,3,4,2],"paramValues":[12345678901,true,2.5,"值中文","x"]}';
  Js.getCallerParams(Json, Cp);
  if not Present('getCallerParams', Cp) then
    Exit;
  Cp.FunName(F);
  CheckWide('ICallerParam.FunName', F, 'probe.参数');
  Check('ICallerParam.webId', Cp.webId = GWebID, N(Cp.webId), N(GWebID));
  Check('ICallerParam.CallerID', Cp.CallerID = 903, N(Cp.CallerID), '903');
  Check('ICallerParam.Count', Cp.Count = 5, N(Cp.Count), '5');
  for I := 0 to 4 do
    Check('ICallerParam.ParamType ' + N(I), Cp.ParamType(I) = Types[I], N(Cp.ParamType(I)), N(Types[I]));

  V := ValueAt(0);
  Check('ICallerParam.ParamValue Int64', (V.VType = varInt64) and (V.VInt64 = 12345678901),
    N(V.VType) + ' ' + N(V.VInt64), '20 12345678901');
  V := ValueAt(1);
  Check('ICallerParam.ParamValue Boolean', (V.VType = varBoolean) and (Word(V.VBoolean) = $FFFF),
    N(V.VType) + ' ' + N(Word(V.VBoolean)), '11 65535');
  V := ValueAt(2);
  Check('ICallerParam.ParamValue double', (V.VType = varDouble) and (V.VDouble = 2.5),
    N(V.VType) + ' ' + FloatText(V.VDouble), '5 2.5');
  V := ValueAt(3);
  Check('ICallerParam.ParamValue text', V.VType = varOleStr, N(V.VType), '8');
  if V.VType = varOleStr then
  begin
    CheckWide('ICallerParam.ParamValue text value', WideString(V.VOleStr), '值中文');
    Check('ICallerParam.ParamValue text is a system string',
      PLongWord(PByte(V.VOleStr) - 4)^ = LongWord(2 * lstrlenW(V.VOleStr)));
    SysFreeString(V.VOleStr);
  end;
  V := ValueAt(4);
  Check('ICallerParam.ParamValue of an unknown code is empty', V.VType = varEmpty, N(V.VType), '0');

  A := ShortArgs;
  Check('CallJsFunction by caller parameters', Js.CallJsFunctionParam(Cp, @A[0], High(A)));
  Ctx := TProbeCallContext.Create(904, GWebID);
  Check('CallJsFunction by context', Js.CallJsFunctionContext(Ctx, @A[0], High(A)));
end;

procedure CheckCallJS(const Fw: IAppFramework);
var
  Js: ICallJSInf;
  A: TClassicArgs;
  Ctx: IAppContext;
  List: IJsCallerInf;
  Cp: IControlParamsInf;
  Want: AnsiString;
begin
  Fw.CallJS(Js);
  if not Present('CallJS', Js) then
    Exit;
  A := FullArgs;
  Check('CallJsFunction with values', Js.CallJsFunctionArgs(GWebID, 901, @A[0], High(A)));
  Check('CallJsFunction with text', Js.CallJsFunctionText(GWebID, 902, PAnsiChar(WideToAnsi('文本答复'))));
  CheckCallerParam(Js);

  Check('CallRegisterFun', Js.CallRegisterFun('probeFun', @A[0], High(A)));
  A := ShortArgs;
  Check('CallRegisterFun answered false', not Js.CallRegisterFun('noSuchFun', @A[0], High(A)));

  Fw.GetCallerParamInf(Cp);
  Check('GetCallerParamInf', (Cp <> nil) and Supports(Cp, IControlParamsInf));
  Fw.GetAppContext(Ctx);
  Check('GetAppContext', (Ctx <> nil) and Supports(Ctx, IAppContext));
  if Ctx = nil then
    Exit;
  Ctx.Params(List);
  A := FullArgs;
  Check('TranParamToJsCallerInf', Js.TranParamToJsCallerInf(@A[0], High(A), List));
  Want := '{"paramTypes":' + kFullTypes + ',"paramValues":' + WideToAnsi(kFullValuesAsList) + '}';
  Check('TranParamToJsCallerInf values', AnsiString(List.ParamText) = Want, AnsiToUtf8Text(List.ParamText),
    AnsiToUtf8Text(PAnsiChar(Want)));
end;

{ A web control made on Parent (named by ParentRef): it names itself by what it hands out and by
  its window, follows its parent's size, and goes with its parent. }
procedure CheckWebControl(const Name: AnsiString; const Fw: IAppFramework; Parent: HWND;
  ParentRef: TWinControlRef);
var
  Ctl: IWebCoreControlInf;
  M: TMethodRec;
  Own: TWinControlRef;
  Wnd: HWND;
  P, C: TRect;
  Id: Integer;
begin
  Fw.GetWebControl(ParentRef, @GModalMarker, False, 'probe://control', Method(@ModalEvent, GModule), 'run', Ctl);
  if not Present('GetWebControl on ' + Name, Ctl) then
    Exit;
  Ctl.GetOnWebBrowserEvent(M);
  Check('IWebCoreControlInf.OnWebBrowserEvent', (M.Code = @ModalEvent) and (M.Data = Pointer(GModule)));
  Own := Ctl.Instance;
  Wnd := FindWindowExW(Parent, 0, 'TWebCoreControl', nil);
  Id := Ctl.GetWebID;
  Check('web control on ' + Name + ' has a page', Id > 0, N(Id));
  Check('GetWebID of the control''s Instance on ' + Name, Fw.GetWebID(Own) = Id, N(Fw.GetWebID(Own)), N(Id));
  Check('GetWebID of the control''s window on ' + Name, Fw.GetWebID(Pointer(Wnd)) = Id,
    N(Fw.GetWebID(Pointer(Wnd))), N(Id));
  SetWindowPos(Parent, 0, 0, 0, 520, 330, SWP_NOMOVE or SWP_NOZORDER or SWP_NOACTIVATE);
  GetClientRect(Parent, P);
  GetWindowRect(Wnd, C);
  Check('web control on ' + Name + ' follows its parent''s size',
    (C.Right - C.Left = P.Right) and (C.Bottom - C.Top = P.Bottom),
    N(C.Right - C.Left) + 'x' + N(C.Bottom - C.Top), N(P.Right) + 'x' + N(P.Bottom));
  Ctl := nil; { its owner frees it: no reference may outlive the parent }
  DestroyWindow(Parent);
  Check('web control on ' + Name + ' went with its parent', (not IsWindow(Wnd)) and (Fw.GetWebID(Own) = 0));
end;

procedure CheckForms(const Fw: IAppFramework);
var
  Ctx: IAppContext;
  R: Integer;
  Ctl: IWebCoreControlInf;
  Wnd: HWND;
  Obj: TObject;
begin
  Ctx := TProbeCallContext.Create(904, GWebID);
  R := Fw.FormShowModal(@GModalMarker, True, 'probe://modal', Method(@ModalEvent, GModule), Ctx);
  Check('FormShowModal', R = 5, N(R), '5');
  Check('FormShowModal handler', (GModalSelf = Pointer(GModule)) and (GModalUser = @GModalMarker) and
    (GModalType = 3) and (GModalName = 'probe.modal') and (GModalCallerNo = 904));

  Wnd := NewWindow('TForm');
  CheckWebControl('a window handle', Fw, Wnd, Pointer(Wnd));
  Wnd := NewWindow('TForm');
  Obj := TObject.Create;
  MarkAsRuntimeControl(Wnd, Obj);
  CheckWebControl('a runtime object', Fw, Wnd, Obj);
  Obj.Free;
  Fw.GetWebControl(GUnreadable, nil, False, 'probe://none', Method(nil, nil), '', Ctl);
  Check('GetWebControl on an unreadable pointer', Ctl = nil);
end;

{ ---- exports ----------------------------------------------------------------------------------- }

function ModuleInit(aFramework: IAppFramework): Boolean; stdcall;
type
  TSection = procedure(const Fw: IAppFramework);
const
  Sections: array[0..5] of TSection = (CheckWindows, CheckScripts, CheckContexts, CheckTexts, CheckCallJS,
    CheckForms);
  Names: array[0..5] of AnsiString = ('windows', 'scripts', 'contexts', 'texts', 'CallJS', 'forms');
var
  I: Integer;
begin
  Check('ModuleInit got the interface', aFramework <> nil);
  if aFramework <> nil then
  begin
    for I := 0 to High(Sections) do
      try
        Sections[I](aFramework);
      except
        on E: Exception do
          Fail(Names[I], E);
      end;
    aFramework.SetOnMainBrowserEvent(@MainBrowserHook);
    aFramework.SetOnAppWakeUp(Method(@WakeUpCode, GModule));
    aFramework.AppTerminate;
  end;
  J('done').Int('checks', GChecks).Int('failed', GFailed).Put;
  Result := True;
end;

{ A library function routed by service name ("probe.Echo"): answers through the return text. }
function Echo(aContext: IAppContext): Boolean; stdcall;
var
  List: IJsCallerInf;
begin
  Result := False;
  if aContext = nil then
    Exit;
  aContext.Params(List);
  if List = nil then
    Exit;
  List.SetResult(PAnsiChar(WideToAnsi('回声：') + AnsiString(List.ParamStr(0))));
  J('echo').Int('callerNo', aContext.CallerNo).Put;
  Result := True;
end;

exports
  ModuleInit, Echo;

begin
  IsMultiThread := True;
  OpenRecord(HInstance, 'ProbeModule.jsonl');
  GUnreadable := VirtualAlloc(nil, 4096, MEM_COMMIT, PAGE_NOACCESS);
  GModule := TProbeModule.Create;
  VPCharText := WideToAnsi('pchar中');
  VPChar := PAnsiChar(VPCharText);
  VPWCharText := '宽字';
  VPWChar := PWideChar(VPWCharText);
  VAnsi := WideToAnsi('ansi中文');
  VWide := 'wide中文';
  VUni := 'uni中文';
end.
