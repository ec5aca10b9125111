<?php
/**
 * What the payment listeners share: the funnel's payment settings, amounts, the REST routes'
 * home, granting a buyer access, and the notes that tell the owner what became of each
 * payment message.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * A funnel's payment settings before the owner changes any.
 *
 * - paypal_email: the PayPal account that must receive the payment (its e-mail address or
 *   merchant id); empty refuses every PayPal payment.
 * - item: the item number the PayPal button sends; empty matches a button without one.
 * - price: the price as a decimal with a dot ("9.90"); empty refuses every payment.
 * - currency: the three-letter currency code.
 * - sandbox: whether PayPal messages are confirmed with PayPal's sandbox.
 * - stripe_secret: the signing secret of the funnel's Stripe webhook endpoint.
 * - webhook_secret: the secret of the generic webhook; empty refuses every call.
 * - link_window: how long a file link works, in seconds.
 * - access_expiry: how long a buyer's link works, in seconds; 0 for ever.
 * - downloads_per_file: how often a buyer may download each file; 0 for no limit.
 * - mail_subject, mail_text: the e-mail with the buyer's link, plain text; {link}, {funnel},
 *   {site} and {email} are filled in.
 *
 * @return array
 */
function #prefix#_default_settings() {
	return array(
		'paypal_email'       => '',
		'item'               => '',
		'price'              => '',
		'currency'           => 'USD',
		'sandbox'            => false,
		'stripe_secret'      => '',
		'webhook_secret'     => '',
		'link_window'        => DAY_IN_SECONDS,
		'access_expiry'      => 0,
		'downloads_per_file' => 10,
		/* translators: {funnel} stays as it is: the funnel's title is put in its place. */
		'mail_subject'       => __( 'Your download: {funnel}', '#prefix#' ),
		/* translators: {funnel}, {link} and {site} stay as they are: the funnel's title, the buyer's link and the site's name are put in their place. */
		'mail_text'          => __( "Thank you for your purchase.\n\nHere is your personal link to {funnel}:\n{link}\n\nThe link is yours alone: keep this e-mail, and please do not pass the link on.\n\n{site}", '#prefix#' ),
	);
}

/**
 * A funnel's payment settings, every one present and of its type; what the funnel never set,
 * or holds in a form that is no longer valid, has its default.
 *
 * @param int $post_id The funnel.
 * @return array See #prefix#_default_settings().
 */
function #prefix#_funnel_settings( $post_id ) {
	$stored = get_post_meta( $post_id, #prefix#_meta_key( 'settings' ), true );
	$clean  = #prefix#_clean_settings( is_array( $stored ) ? $stored : array(), #prefix#_default_settings() );
	return $clean['settings'];
}

/**
 * Changes some of a funnel's payment settings. A value that is not valid is left as it was
 * and named in the answer, so the screen can say what to correct.
 *
 * @param int   $post_id The funnel.
 * @param array $changes Setting => new value; settings left out keep their value.
 * @return string[] Setting => what is wrong with the value given; empty when all were saved.
 */
function #prefix#_save_funnel_settings( $post_id, $changes ) {
	$current = #prefix#_funnel_settings( $post_id );
	$clean   = #prefix#_clean_settings( array_merge( $current, (array) $changes ), $current );
	// Meta functions unslash what they get.
	update_post_meta( $post_id, #prefix#_meta_key( 'settings' ), wp_slash( $clean['settings'] ) );
	return $clean['problems'];
}

/**
 * Checks and tidies payment settings: known keys only, each in its canonical form; each
 * value that is not valid is replaced with its fallback and named among the problems.
 *
 * @param array $input    Setting => value, as given.
 * @param array $fallback Setting => value used where the input is not valid.
 * @return array array( 'settings' => array, 'problems' => string[] ).
 */
function #prefix#_clean_settings( $input, $fallback ) {
	$settings = array();
	$problems = array();
	foreach ( #prefix#_default_settings() as $name => $default ) {
		$value = array_key_exists( $name, $input ) ? $input[ $name ] : $fallback[ $name ];
		$error = '';
		$clean = #prefix#_clean_setting( $name, $value, $error );
		if ( '' !== $error ) {
			$problems[ $name ] = $error;
			$clean             = $fallback[ $name ];
		}
		$settings[ $name ] = $clean;
	}
	return array(
		'settings' => $settings,
		'problems' => $problems,
	);
}

/**
 * One setting checked and in its canonical form.
 *
 * @param string $name  The setting.
 * @param mixed  $value The value as given.
 * @param string $error Set to what is wrong with the value, or left empty.
 * @return mixed
 */
function #prefix#_clean_setting( $name, $value, &$error ) {
	if ( 'sandbox' === $name ) {
		return (bool) $value;
	}
	$numbers = array(
		'link_window'        => array( 5 * MINUTE_IN_SECONDS, 30 * DAY_IN_SECONDS, __( 'The file links\' time must lie between 5 minutes and 30 days.', '#prefix#' ) ),
		'access_expiry'      => array( 0, 100 * YEAR_IN_SECONDS, __( 'The access time must be a number of seconds, or 0 for ever.', '#prefix#' ) ),
		'downloads_per_file' => array( 0, 100000, __( 'The downloads per file must be a whole number, or 0 for no limit.', '#prefix#' ) ),
	);
	if ( isset( $numbers[ $name ] ) ) {
		$ok    = ( is_int( $value ) || ( is_string( $value ) && 1 === preg_match( '/^\s*\d{1,10}\s*$/', $value ) ) )
			&& (int) $value >= $numbers[ $name ][0] && (int) $value <= $numbers[ $name ][1];
		$error = $ok ? '' : $numbers[ $name ][2];
		return (int) $value;
	}
	if ( ! is_string( $value ) ) {
		$error = __( 'This setting must be text.', '#prefix#' );
		return '';
	}
	switch ( $name ) {
		case 'paypal_email':
			$value = trim( $value );
			// A PayPal account is named by its e-mail address or its 13-character merchant id.
			if ( '' !== $value && ! is_email( $value ) && 1 !== preg_match( '/^[A-Z0-9]{13}$/', $value ) ) {
				$error = __( 'Enter the e-mail address (or merchant id) of the PayPal account that receives the payments.', '#prefix#' );
			}
			return $value;
		case 'item':
			$value = sanitize_text_field( $value );
			if ( strlen( $value ) > 127 ) {
				$error = __( 'PayPal keeps item numbers to 127 characters.', '#prefix#' );
			}
			return $value;
		case 'price':
			$value = trim( $value );
			if ( false === strpos( $value, '.' ) ) {
				$value = str_replace( ',', '.', $value );
			}
			$amount = #prefix#_amount_value( $value );
			if ( '' !== $value && ( null === $amount || $amount <= 0 ) ) {
				$error = __( 'Enter the price as a number such as 9.90.', '#prefix#' );
				return '';
			}
			return '' === $value ? '' : #prefix#_amount_text( $amount );
		case 'currency':
			$value = strtoupper( trim( $value ) );
			if ( 1 !== preg_match( '/^[A-Z]{3}$/', $value ) ) {
				$error = __( 'Enter the currency as its three-letter code, such as USD or EUR.', '#prefix#' );
			}
			return $value;
		case 'stripe_secret':
		case 'webhook_secret':
			$value = trim( $value );
			if ( '' !== $value && 1 !== preg_match( '/^[A-Za-z0-9_\-]{16,255}$/', $value ) ) {
				$error = __( 'A signing secret is 16 or more letters, digits, "_" or "-", copied whole.', '#prefix#' );
			}
			return $value;
		case 'mail_subject':
			return sanitize_text_field( $value );
		case 'mail_text':
			$value = sanitize_textarea_field( $value );
			if ( false === strpos( $value, '{link}' ) ) {
				$error = __( 'The e-mail must hold {link}, where the buyer\'s link goes.', '#prefix#' );
			}
			return $value;
	}
	return $value;
}

/**
 * An amount written as a decimal with a dot ("9.90", "9.9", "1000") in thousandths of its
 * unit, worked out on the digits so that no rounding creeps in; null for anything else,
 * more than three decimals included.
 *
 * @param mixed $text The amount.
 * @return int|null
 */
function #prefix#_amount_value( $text ) {
	if ( ! is_string( $text ) || 1 !== preg_match( '/^(\d{1,12})(?:\.(\d{1,3}))?$/', $text, $parts ) ) {
		return null;
	}
	$fraction = isset( $parts[2] ) ? $parts[2] : '';
	return (int) $parts[1] * 1000 + (int) str_pad( $fraction, 3, '0' );
}

/**
 * An amount in thousandths as the settings keep it: two decimals, or three when the third is
 * not zero.
 *
 * @param int $value The amount in thousandths.
 * @return string
 */
function #prefix#_amount_text( $value ) {
	$text = intdiv( $value, 1000 ) . '.' . str_pad( (string) ( $value % 1000 ), 3, '0', STR_PAD_LEFT );
	return '0' === substr( $text, -1 ) ? substr( $text, 0, -1 ) : $text;
}

/**
 * An amount in a currency's smallest unit, as Stripe gives it, in thousandths of the unit:
 * Stripe writes most currencies in hundredths, some in whole units and a few in thousandths.
 *
 * @param mixed  $minor    The amount in the currency's smallest unit.
 * @param string $currency The three-letter currency code, either case.
 * @return int|null Null when the amount is not a whole number.
 */
function #prefix#_minor_units_value( $minor, $currency ) {
	if ( ! is_int( $minor ) ) {
		return null;
	}
	$whole    = array( 'BIF', 'CLP', 'DJF', 'GNF', 'JPY', 'KMF', 'KRW', 'MGA', 'PYG', 'RWF', 'UGX', 'VND', 'VUV', 'XAF', 'XOF', 'XPF' );
	$thousand = array( 'BHD', 'JOD', 'KWD', 'OMR', 'TND' );
	$currency = strtoupper( (string) $currency );
	if ( in_array( $currency, $whole, true ) ) {
		return $minor * 1000;
	}
	return in_array( $currency, $thousand, true ) ? $minor : $minor * 10;
}

/**
 * The REST namespace of the plugin's payment listeners.
 *
 * @return string
 */
function #prefix#_rest_namespace() {
	return strtolower( '#prefix#' ) . '/v1';
}

/**
 * The address at which a payment service reaches a funnel's listener; the owner enters it at
 * the service (PayPal's notify_url, Stripe's webhook endpoint, the generic webhook).
 *
 * @param string $provider paypal, stripe or webhook.
 * @param int    $post_id  The funnel.
 * @return string
 */
function #prefix#_listener_url( $provider, $post_id ) {
	return rest_url( #prefix#_rest_namespace() . '/' . $provider . '/' . (int) $post_id );
}

/**
 * The route pattern of a funnel's listener, for register_rest_route.
 *
 * @param string $provider paypal, stripe or webhook.
 * @return string
 */
function #prefix#_listener_route( $provider ) {
	return '/' . $provider . '/(?P<funnel>\d+)';
}

/**
 * The funnel a listener's address names, when it is one of this plugin's funnels that may
 * take payments (not in the trash); null otherwise.
 *
 * @param mixed $post_id The number from the address.
 * @return WP_Post|null
 */
function #prefix#_payment_funnel( $post_id ) {
	$post = get_post( (int) $post_id );
	if ( ! $post instanceof WP_Post || #prefix#_post_type() !== $post->post_type || in_array( $post->post_status, array( 'trash', 'auto-draft' ), true ) ) {
		return null;
	}
	return $post;
}

/**
 * Meta that holds the payment settings (secrets among them) is protected whatever its name:
 * neither the Custom Fields box, XML-RPC nor the REST API reads or writes it.
 *
 * @param bool   $protected Whether WordPress takes the key for protected.
 * @param string $meta_key  The key.
 * @return bool
 */
function #prefix#_protect_settings_meta( $protected, $meta_key ) {
	return $protected || #prefix#_meta_key( 'settings' ) === $meta_key;
}
add_filter( 'is_protected_meta', '#prefix#_protect_settings_meta', 10, 2 );

/**
 * Gives a buyer access to a funnel after a confirmed payment (or by the owner's hand): adds
 * the buyer with the funnel's access time and e-mails their link.
 *
 * @param int    $funnel_id  The funnel.
 * @param string $email      The buyer's e-mail address.
 * @param string $source     paypal, stripe, manual or webhook.
 * @param string $payment_id The payment's id at its source; empty for none.
 * @param string $claim_ref  PayPal's custom value or Stripe's Checkout Session id; empty for none.
 * @param bool   $send_mail  Whether to e-mail the link.
 * @return array|WP_Error array( 'id' => buyer, 'token' => token, 'mailed' => bool ), or the
 *                        error of #prefix#_add_buyer().
 */
function #prefix#_grant_access( $funnel_id, $email, $source, $payment_id = '', $claim_ref = '', $send_mail = true ) {
	$settings = #prefix#_funnel_settings( $funnel_id );
	$now      = time();
	$expires  = $settings['access_expiry'] ? $now + $settings['access_expiry'] : 0;
	$added    = #prefix#_add_buyer( $funnel_id, $email, $source, $payment_id, $claim_ref, $expires, $now );
	if ( is_wp_error( $added ) ) {
		return $added;
	}
	$added['mailed'] = $send_mail && is_email( $email ) && #prefix#_mail_buyer_link( $funnel_id, $email, $added['token'] );
	/**
	 * A buyer was given access to a funnel.
	 *
	 * @param int    $buyer_id  The buyer.
	 * @param int    $funnel_id The funnel.
	 * @param string $source    paypal, stripe, manual or webhook.
	 */
	do_action( '#prefix#_buyer_added', $added['id'], (int) $funnel_id, $source );
	return $added;
}

/**
 * The option that keeps the latest payment notes.
 *
 * @return string
 */
function #prefix#_payment_notes_option() {
	return '#prefix#_payment_notes';
}

/**
 * Notes what became of a payment message, so the owner can see why a payment gave no access
 * (a wrong price in the button, a signing secret copied wrong). The latest 50 are kept, of
 * all funnels together.
 *
 * @param int    $funnel_id The funnel.
 * @param string $source    paypal, stripe or webhook.
 * @param string $outcome   granted, revoked, ignored or refused.
 * @param string $detail    What happened, in the owner's words.
 */
function #prefix#_note_payment( $funnel_id, $source, $outcome, $detail ) {
	$notes   = get_option( #prefix#_payment_notes_option(), array() );
	$notes   = is_array( $notes ) ? $notes : array();
	$notes[] = array(
		'time'    => time(),
		'funnel'  => (int) $funnel_id,
		'source'  => (string) $source,
		'outcome' => (string) $outcome,
		'detail'  => (string) $detail,
	);
	update_option( #prefix#_payment_notes_option(), array_slice( $notes, -50 ), false );
	/**
	 * A payment message was handled.
	 *
	 * @param int    $funnel_id The funnel.
	 * @param string $source    paypal, stripe or webhook.
	 * @param string $outcome   granted, revoked, ignored or refused.
	 * @param string $detail    What happened.
	 */
	do_action( '#prefix#_payment_noted', (int) $funnel_id, $source, $outcome, $detail );
}

/**
 * The latest payment notes of a funnel, newest first.
 *
 * @param int $funnel_id The funnel.
 * @return array[] Each with time, funnel, source, outcome and detail.
 */
function #prefix#_payment_notes( $funnel_id ) {
	$notes = get_option( #prefix#_payment_notes_option(), array() );
	$mine  = array();
	foreach ( is_array( $notes ) ? $notes : array() as $note ) {
		if ( is_array( $note ) && isset( $note['funnel'] ) && (int) $funnel_id === $note['funnel'] ) {
			$mine[] = $note;
		}
	}
	return array_reverse( $mine );
}

/**
 * A listener's answer, noted for the owner.
 *
 * @param int    $funnel_id The funnel.
 * @param string $source    paypal, stripe or webhook.
 * @param string $outcome   granted, revoked, ignored or refused.
 * @param string $detail    What happened, in the owner's words.
 * @param int    $status    The HTTP status of the answer.
 * @param array  $extra     More fields of the answer.
 * @return WP_REST_Response
 */
function #prefix#_listener_answer( $funnel_id, $source, $outcome, $detail, $status = 200, $extra = array() ) {
	#prefix#_note_payment( $funnel_id, $source, $outcome, $detail );
	$body = array(
		'outcome' => $outcome,
		'detail'  => $detail,
	);
	return new WP_REST_Response( $body + $extra, $status );
}
